#include "ui/hint_line.h"

#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <vector>

namespace {

const QChar DASH(0x2014);

// The pieces a line may break between: words, a quoted span as one piece,
// a dash joined to the word before it.
std::vector<QString> unbreakable_pieces(const QString& text) {
  std::vector<QString> pieces;
  bool in_quotes = false;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const bool join = !pieces.empty() && (in_quotes || word == DASH);
    if (join) {
      pieces.back() += QLatin1Char(' ') + word;
    } else {
      pieces.push_back(word);
    }
    if (word.count(QLatin1Char('"')) % 2 == 1) in_quotes = !in_quotes;
  }
  return pieces;
}

QStringList fill_lines(const std::vector<QString>& pieces, const QFontMetrics& metrics, int width) {
  QStringList lines;
  for (const QString& piece : pieces) {
    const QString longer = lines.isEmpty() ? piece : lines.back() + QLatin1Char(' ') + piece;
    if (!lines.isEmpty() && metrics.horizontalAdvance(longer) <= width) {
      lines.back() = longer;
    } else {
      lines << piece;
    }
  }
  return lines;
}

}  // namespace

QStringList break_hint(const QString& text, const QFontMetrics& metrics, int width, int max_lines) {
  std::vector<QString> pieces = unbreakable_pieces(text);
  if (pieces.empty()) return {};
  for (QString& piece : pieces) piece = metrics.elidedText(piece, Qt::ElideMiddle, width);
  QStringList lines = fill_lines(pieces, metrics, width);
  // Each round cuts the widest piece by a character's width: bounded by the
  // text's width over that.
  const int step = std::max(1, metrics.averageCharWidth());
  while (lines.size() > max_lines) {
    auto widest =
        std::max_element(pieces.begin(), pieces.end(), [&](const QString& a, const QString& b) {
          return metrics.horizontalAdvance(a) < metrics.horizontalAdvance(b);
        });
    const int room = metrics.horizontalAdvance(*widest) - step;
    if (room <= step) break;
    *widest = metrics.elidedText(*widest, Qt::ElideMiddle, room);
    lines = fill_lines(pieces, metrics, width);
  }
  if (lines.size() > max_lines) {
    // Only short words left: the last line that fits ends with an ellipsis.
    QString rest = lines.mid(max_lines - 1).join(QLatin1Char(' '));
    lines = lines.mid(0, max_lines - 1);
    lines << metrics.elidedText(rest, Qt::ElideRight, width);
  }
  return lines;
}

void show_hint(QLabel* label, const QString& text) {
  const QFontMetrics metrics = label->fontMetrics();
  const int max_lines = std::max(1, label->contentsRect().height() / metrics.height());
  // The breaks are made here; the label must not wrap again at others.
  label->setWordWrap(false);
  const QStringList lines = break_hint(text, metrics, label->contentsRect().width(), max_lines);
  label->setText(lines.join(QLatin1Char('\n')));
  label->setToolTip(lines.join(QLatin1Char(' ')) == text.simplified() ? QString() : text);
}
