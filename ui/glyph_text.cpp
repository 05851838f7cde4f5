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
  if (c >= 0x20 && c < 0x7f) return true;  // printable ASCII, without a table look-up
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

void GlyphText::Reset() {
  tiles_.clear();
  placed_.clear();
  before_.clear();
  shaped_.clear();
  pairs_.clear();
  outlines_.clear();
  raw_ = QRawFont();
  text_.clear();
  rect_ = QRect();
  composed_ = false;
}

GlyphText::Shaped GlyphText::FromRun(std::uint32_t glyph, std::int64_t advance64) {
  Shaped shaped;
  shaped.ok = true;
  shaped.glyph = glyph;
  shaped.advance64 = advance64;
  auto outline = outlines_.find(glyph);
  if (outline == outlines_.end()) outline = outlines_.emplace(glyph, raw_.pathForGlyph(glyph)).first;
  shaped.outline = &outline->second;
  shaped.bounds = outline->second.boundingRect();
  shaped.blank = outline->second.isEmpty();
  return shaped;
}

const GlyphText::Shaped& GlyphText::ShapedPair(char16_t c, char16_t next) {
  const std::uint32_t key = std::uint32_t{c} << 16 | next;
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
    if (!raw_.isValid()) raw_ = runs[0].rawFont();
    ascent64_ = qRound64(line.ascent() * 64);
    descent64_ = qRound64(line.descent() * 64);
    shaped = FromRun(runs[0].glyphIndexes()[0],
                     next != 0 ? qRound64((at[1].x() - at[0].x()) * 64) : qRound64(line.naturalTextWidth() * 64));
  }
  return pairs_.emplace(key, shaped).first->second;
}

void GlyphText::setStyle(const QFont& font, const QColor& color) {
  if (font == font_ && color == color_) return;
  Reset();
  font_ = font;
  color_ = color;
}

QRect GlyphText::setText(const QString& text, const QRect& rect) {
  // A readout mostly changes in its last digits: the characters before the
  // first change keep their shaping, but for the last of them, whose
  // kerning with the next one may change.
  const qsizetype common = std::min(text.size(), text_.size());
  qsizetype same = 0;
  while (same < common && text[same] == text_[same]) ++same;
  if (same == text.size() && same == text_.size() && rect == rect_ && !rect.isNull()) return {};
  shaped_.resize(std::min<std::size_t>(shaped_.size(), same > 0 ? static_cast<std::size_t>(same - 1) : 0));
  text_ = text;
  rect_ = rect;

  // Shaped pair by pair: a line of digits, signs and separators shapes the
  // same as its pairs do, without shaping the whole text on every packet.
  bool ok = !text.isEmpty();
  for (auto i = static_cast<qsizetype>(shaped_.size()); ok && i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    const char16_t next = i + 1 < text.size() ? text[i + 1].unicode() : 0;
    ok = PlainLeftToRight(c);
    if (!ok) break;
    const Shaped& shaped = ShapedPair(c, next);
    ok = shaped.ok;
    if (ok) shaped_.push_back(&shaped);
  }
  std::int64_t width64 = 0;
  for (const Shaped* s : shaped_) width64 += s->advance64;

  const bool wasComposed = composed_;
  composed_ = ok && raw_.isValid() && width64 <= rect.width() * std::int64_t{64} &&
              ascent64_ + descent64_ <= rect.height() * std::int64_t{64};
  before_.swap(placed_);
  placed_.clear();
  if (composed_) {
    // Centred in 1/64 pixel units with truncating division, as drawText does.
    std::int64_t x64 = rect.x() * std::int64_t{64} + (rect.width() * std::int64_t{64} - width64) / 2;
    const std::int64_t y64 =
        rect.y() * std::int64_t{64} + (rect.height() * std::int64_t{64} - (ascent64_ + descent64_)) / 2 + ascent64_;
    for (const Shaped* s : shaped_) {
      placed_.push_back({s, s->glyph, x64, y64});
      x64 += s->advance64;
    }
  }

  if (!composed_ || !wasComposed) return rect;
  // A glyph that stays where it was keeps its picture and its pixels.
  QRect dirty;
  for (Placed& p : placed_) {
    if (const auto was = std::find(before_.begin(), before_.end(), p); was != before_.end()) {
      p.tile = was->tile;
    } else {
      dirty |= Covered(p);
    }
  }
  for (const Placed& p : before_) {
    if (std::find(placed_.begin(), placed_.end(), p) == placed_.end()) dirty |= Covered(p);
  }
  return dirty;
}

QRect GlyphText::Covered(const Placed& p) {
  return p.shaped->bounds.translated(static_cast<qreal>(p.x64) / 64.0, static_cast<qreal>(p.y64) / 64.0)
      .toAlignedRect()
      .adjusted(-1, -1, 1, 1);
}

void GlyphText::ForgetTiles() {
  tiles_.clear();
  for (Placed& p : placed_) p.tile = nullptr;
  for (Placed& p : before_) p.tile = nullptr;
}

const GlyphText::Tile& GlyphText::TileFor(const Placed& placed) {
  const Key key{placed.glyph, placed.x64, placed.y64};
  if (const auto it = tiles_.find(key); it != tiles_.end()) return it->second;
  if (tiles_.size() >= kMaxTiles) ForgetTiles();
  // Rendered where it will be drawn, into a picture shifted by whole pixels
  // only, so the rasteriser sees the same coordinates as drawText would.
  const QPainterPath path =
      placed.shaped->outline->translated(static_cast<qreal>(placed.x64) / 64.0, static_cast<qreal>(placed.y64) / 64.0);
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

void GlyphText::draw(QPainter& painter, const QRect& area) {
  for (Placed& p : placed_) {
    if (p.shaped->blank) continue;
    if (p.tile == nullptr) p.tile = &TileFor(p);
    if (p.tile->rect().intersects(area)) painter.drawImage(p.tile->topLeft, p.tile->picture);
  }
}

}  // namespace tarvex
