#pragma once
// Large text drawn from cached glyph pictures. Qt renders glyphs above 64
// pixels from their outlines on every paint; the readout repaints up to 50
// times a second, so each glyph is rendered once per place it is drawn at
// and composed from then on. The result is the same pixels QPainter::drawText
// gives for a single centred line.

#include <cstdint>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRawFont>
#include <QRect>
#include <QString>

class QPainter;

namespace tarvex {

class GlyphText {
 public:
  // Lays `text` out as drawText(rect, Qt::AlignCenter | Qt::TextSingleLine)
  // does. Returns the rectangle whose pixels differ from the previous
  // layout's. A text that does not fit the rectangle is not composed (see
  // composed()).
  QRect setText(const QString& text, const QFont& font, const QRect& rect, const QColor& color) {
    setStyle(font, color);
    return setText(text, rect);
  }
  // The same in two steps, for a caller that knows when its font or colour
  // changes: a new style starts afresh.
  void setStyle(const QFont& font, const QColor& color);
  QRect setText(const QString& text, const QRect& rect);
  // False when the text has to be drawn the ordinary way.
  bool composed() const { return composed_; }
  // Draws the glyphs that reach into `area`.
  void draw(QPainter& painter, const QRect& area);

  std::size_t cachedPictures() const { return tiles_.size(); }

 private:
  struct Tile {
    QImage picture;
    QPoint topLeft;
    QRect rect() const { return {topLeft, picture.size()}; }
  };
  // One character's glyph and its advance before the next character, which
  // takes the pair's kerning in; shaped once per pair.
  struct Shaped {
    bool ok = false;
    std::uint32_t glyph = 0;
    std::int64_t advance64 = 0;
    const QPainterPath* outline = nullptr;
    QRectF bounds;       // the outline's
    bool blank = true;   // a space: nothing to draw
  };
  struct Placed {
    const Shaped* shaped;
    std::uint32_t glyph;  // the shaped one's, compared without following the pointer
    std::int64_t x64;     // position in 1/64 pixel
    std::int64_t y64;
    const Tile* tile = nullptr;  // found when first drawn
    bool operator==(const Placed& o) const { return glyph == o.glyph && x64 == o.x64 && y64 == o.y64; }
  };
  using Key = std::tuple<std::uint32_t, std::int64_t, std::int64_t>;

  void Reset();
  Shaped FromRun(std::uint32_t glyph, std::int64_t advance64);
  const Shaped& ShapedPair(char16_t c, char16_t next);
  const Tile& TileFor(const Placed& placed);
  void ForgetTiles();
  static QRect Covered(const Placed& p);

  QFont font_;
  QColor color_;
  QRect rect_;
  QString text_;
  bool composed_ = false;
  std::vector<const Shaped*> shaped_;  // text_'s characters, as far as they shaped
  std::vector<Placed> placed_;
  std::vector<Placed> before_;  // kept to spare the allocation
  std::map<std::uint32_t, QPainterPath> outlines_;
  std::unordered_map<std::uint32_t, Shaped> pairs_;  // character << 16 | next
  QRawFont raw_;
  std::int64_t ascent64_ = 0;
  std::int64_t descent64_ = 0;
  std::map<Key, Tile> tiles_;
};

}  // namespace tarvex
