#pragma once
// Large text drawn from cached glyph pictures. Qt renders glyphs above 64
// pixels from their outlines on every paint; the readout repaints up to 50
// times a second, so each glyph is rendered once per place it is drawn at
// and composed from then on. The result is the same pixels QPainter::drawText
// gives for a single centred line.

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRawFont>
#include <QRect>
#include <QRegion>
#include <QString>

class QPainter;

namespace tarvex {

class GlyphText {
 public:
  // Lays `text` out as drawText(rect, Qt::AlignCenter | Qt::TextSingleLine)
  // does. Returns the region whose pixels differ from the previous layout's.
  // A text that does not fit the rectangle is not composed (see composed()).
  QRegion setText(const QString& text, const QFont& font, const QRect& rect, const QColor& color);
  // False when the text has to be drawn the ordinary way.
  bool composed() const { return composed_; }
  void draw(QPainter& painter);

  std::size_t cachedPictures() const { return tiles_.size(); }

 private:
  struct Placed {
    std::uint32_t glyph;
    std::int64_t x64;  // position in 1/64 pixel
    std::int64_t y64;
    friend bool operator==(const Placed&, const Placed&) = default;
  };
  struct Tile {
    QImage picture;
    QPoint topLeft;
  };
  using Key = std::tuple<std::uint32_t, std::int64_t, std::int64_t>;

  // One character's glyph and its advance before the next character, which
  // takes the pair's kerning in; shaped once per pair.
  struct Shaped {
    bool ok = false;
    std::uint32_t glyph = 0;
    std::int64_t advance64 = 0;
  };
  const Shaped& ShapedPair(char16_t c, char16_t next);
  const Tile& TileFor(const Placed& placed, const QPainterPath& outline);
  QRect Covered(const std::vector<Placed>& glyphs) const;

  QFont font_;
  QColor color_;
  bool composed_ = false;
  std::vector<Placed> placed_;
  std::map<std::uint32_t, QPainterPath> outlines_;
  std::map<std::pair<char16_t, char16_t>, Shaped> pairs_;
  QRawFont raw_;
  std::int64_t ascent64_ = 0;
  std::int64_t descent64_ = 0;
  std::map<Key, Tile> tiles_;
};

}  // namespace tarvex
