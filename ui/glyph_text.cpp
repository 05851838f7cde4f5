#include "ui/glyph_text.h"

#include <algorithm>

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

namespace tarvex {

namespace {

// Enough for every place the readout's glyphs take while a scale moves;
// beyond it the pictures are rendered afresh.
constexpr std::size_t kMaxTiles = 1024;

// Characters that shape on their own: no marks, no right-to-left text.
bool PlainLeftToRight(char16_t c) {
  if (c < 0x20 || QChar::isSurrogate(c) || QChar::isMark(c)) return false;
  switch (QChar::direction(c)) {
    case QChar::DirL:
    case QChar::DirEN:
    case QChar::DirES:
    case QChar::DirET:
    case QChar::DirCS:
    case QChar::DirWS:
    case QChar::DirON:
      return true;
    default:
      return false;
  }
}

}  // namespace

const GlyphText::Shaped& GlyphText::ShapedPair(char16_t c, char16_t next) {
  const auto key = std::make_pair(c, next);
  if (const auto it = pairs_.find(key); it != pairs_.end()) return it->second;
  Shaped shaped;
  QString pair{QChar(c)};
  if (next != 0) pair.append(QChar(next));
  QTextLayout layout(pair, font_);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  const QList<QGlyphRun> runs = layout.glyphRuns();
  if (line.isValid() && runs.size() == 1 && runs[0].glyphIndexes().size() == pair.size()) {
    const QList<QPointF> at = runs[0].positions();
    shaped.ok = true;
    shaped.glyph = runs[0].glyphIndexes()[0];
    shaped.advance64 = next != 0 ? qRound64((at[1].x() - at[0].x()) * 64) : qRound64(line.naturalTextWidth() * 64);
    if (!raw_.isValid()) raw_ = runs[0].rawFont();
    ascent64_ = qRound64(line.ascent() * 64);
    descent64_ = qRound64(line.descent() * 64);
  }
  return pairs_.emplace(key, shaped).first->second;
}

QRegion GlyphText::setText(const QString& text, const QFont& font, const QRect& rect, const QColor& color) {
  if (font != font_ || color != color_) {
    tiles_.clear();
    outlines_.clear();
    pairs_.clear();
    raw_ = QRawFont();
    font_ = font;
    color_ = color;
  }
  const std::vector<Placed> before = placed_;
  const bool wasComposed = composed_;
  placed_.clear();

  // Shaped pair by pair: a line of digits, signs and separators shapes the
  // same as its pairs do, without shaping the whole text on every packet.
  std::vector<Shaped> glyphs;
  std::int64_t width64 = 0;
  bool ok = !text.isEmpty();
  for (qsizetype i = 0; ok && i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    const char16_t next = i + 1 < text.size() ? text[i + 1].unicode() : 0;
    ok = PlainLeftToRight(c);
    if (!ok) break;
    const Shaped& shaped = ShapedPair(c, next);
    ok = shaped.ok;
    glyphs.push_back(shaped);
    width64 += shaped.advance64;
  }
  composed_ = ok && raw_.isValid() && width64 <= rect.width() * std::int64_t{64} &&
              ascent64_ + descent64_ <= rect.height() * std::int64_t{64};
  if (composed_) {
    // Centred in 1/64 pixel units with truncating division, as drawText does.
    std::int64_t x64 = rect.x() * std::int64_t{64} + (rect.width() * std::int64_t{64} - width64) / 2;
    const std::int64_t y64 =
        rect.y() * std::int64_t{64} + (rect.height() * std::int64_t{64} - (ascent64_ + descent64_)) / 2 + ascent64_;
    for (const Shaped& g : glyphs) {
      if (outlines_.find(g.glyph) == outlines_.end()) outlines_.emplace(g.glyph, raw_.pathForGlyph(g.glyph));
      placed_.push_back({g.glyph, x64, y64});
      x64 += g.advance64;
    }
  }

  if (!composed_ || !wasComposed) return QRegion(rect);
  std::vector<Placed> gone;
  for (const Placed& p : before) {
    if (std::find(placed_.begin(), placed_.end(), p) == placed_.end()) gone.push_back(p);
  }
  std::vector<Placed> come;
  for (const Placed& p : placed_) {
    if (std::find(before.begin(), before.end(), p) == before.end()) come.push_back(p);
  }
  return QRegion(Covered(gone) | Covered(come));
}

QRect GlyphText::Covered(const std::vector<Placed>& glyphs) const {
  QRect region;
  for (const Placed& p : glyphs) {
    const auto it = outlines_.find(p.glyph);
    if (it == outlines_.end()) continue;
    region |= it->second.boundingRect().translated(static_cast<qreal>(p.x64) / 64.0, static_cast<qreal>(p.y64) / 64.0)
                  .toAlignedRect()
                  .adjusted(-1, -1, 1, 1);
  }
  return region;
}

const GlyphText::Tile& GlyphText::TileFor(const Placed& placed, const QPainterPath& outline) {
  const Key key{placed.glyph, placed.x64, placed.y64};
  if (const auto it = tiles_.find(key); it != tiles_.end()) return it->second;
  if (tiles_.size() >= kMaxTiles) tiles_.clear();
  // Rendered where it will be drawn, into a picture shifted by whole pixels
  // only, so the rasteriser sees the same coordinates as drawText would.
  const QPainterPath path =
      outline.translated(static_cast<qreal>(placed.x64) / 64.0, static_cast<qreal>(placed.y64) / 64.0);
  const QRect bounds = path.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
  QImage picture(bounds.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  {
    QPainter p(&picture);
    p.translate(-bounds.left(), -bounds.top());
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(path, color_);
  }
  return tiles_.emplace(key, Tile{std::move(picture), bounds.topLeft()}).first->second;
}

void GlyphText::draw(QPainter& painter) {
  for (const Placed& p : placed_) {
    const auto outline = outlines_.find(p.glyph);
    if (outline == outlines_.end() || outline->second.isEmpty()) continue;  // spaces
    const Tile& tile = TileFor(p, outline->second);
    painter.drawImage(tile.topLeft, tile.picture);
  }
}

}  // namespace tarvex
