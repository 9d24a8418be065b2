#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>

class QDialog;
class QWidget;

// Builds dialogs from the templates in res/, the way the original platform's
// dialog manager does: dialog units converted through the dialog font, one
// child widget per control, each findable by its control id.

// The pixel size of the dialog units of a font: x is the average character
// width (a dialog unit across is x / 4), y the character height (y / 8 down).
struct DialogBaseUnits {
  int x;
  int y;
};
DialogBaseUnits dialog_base_units(const QFont& font);

// A rectangle given in dialog units, in pixels, rounded to nearest.
QRect map_dialog_rect(DialogBaseUnits units, int x, int y, int width, int height);

// Gives dialog the caption, window style, font, fixed size and controls of
// the template template_id. Buttons with the ids IDOK and IDCANCEL end the
// dialog as accepted or rejected; other buttons are the dialog's to connect.
// Returns false (and changes nothing) when there is no such template.
bool create_dialog_controls(QDialog* dialog, int template_id);

// The control of dialog with id, or null. Every id but IDC_STATIC names one
// control in a template.
QWidget* dialog_item(const QWidget* dialog, int id);

// The icon resource id, in every size it comes in; a null icon for an unknown id.
QIcon load_icon(int id);
