#pragma once

#include <QString>
#include <QStringList>

class QFontMetrics;
class QLabel;

// The line below the monitor's frame says what to do, often by naming a
// command ("capture-probe devices") or a path. Wrapped as plain words it
// could break inside either; here it breaks only at the spaces between them.

// text on at most max_lines lines no wider than width: broken at spaces
// outside a quoted span (a command) and never inside a word (a path has no
// spaces); a dash stays with the word before it. A word too long for the room
// is cut in the middle with an ellipsis, the longest first, until it fits.
QStringList break_hint(const QString& text, const QFontMetrics& metrics, int width, int max_lines);

// Shows text on label, broken as above on as many lines as the label is
// tall; the whole text is its tooltip when anything had to be cut.
void show_hint(QLabel* label, const QString& text);
