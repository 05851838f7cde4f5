// The readout composed from cached glyph pictures looks exactly like text
// drawn the ordinary way, and only the glyphs that changed are painted anew.

#include <algorithm>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "ui/controls.h"
#include "ui/glyph_text.h"

namespace tarvex::testing {
namespace {

QImage Canvas() {
  QImage image(641, 143, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  return image;
}

TEST(GlyphText, ComposesTheSamePixelsAsDrawText) {
  const QFont font = MakeFont(QStringLiteral("Arial"), 67, true);
  const QRect rect(1, 1, 639, 141);
  GlyphText composer;
  // Twice over, so the second round draws from cached pictures.
  for (int round = 0; round < 2; ++round) {
    for (const char* text : {"n/c", "not connected", "- - - - -", "-  -  -  -  -", "Comm. error", "0 mm",
                             "12.3456 mm", "-43.984 mm", "1,234.5678 mm", "12,345.6790 mm", "-0.003 mm",
                             "54,760,833 mm", "-54,760,833.000 mm", "1.234,5678 mm", "1\u00a0234,5678 mm",
                             "1\u202f234,5678 mm", "1\u2019234.5678 mm"}) {
      const QString caption = QString::fromUtf8(text);
      QImage direct = Canvas();
      {
        QPainter p(&direct);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption);
      }
      QImage composed = Canvas();
      composer.setText(caption, font, rect, Qt::black);
      {
        QPainter p(&composed);
        if (composer.composed()) {
          composer.draw(p, composed.rect());
        } else {
          p.setFont(font);
          p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption);
        }
      }
      // Plain ASCII lines are always composed; others may fall back.
      if (std::all_of(caption.begin(), caption.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        EXPECT_TRUE(composer.composed()) << text;
      }
      EXPECT_EQ(composed, direct) << text;
    }
  }
}

TEST(GlyphText, ReportsOnlyTheChangedGlyphsAsDirty) {
  const QFont font = MakeFont(QStringLiteral("Arial"), 67, true);
  const QRect rect(1, 1, 639, 141);
  GlyphText composer;
  EXPECT_EQ(composer.setText(QStringLiteral("12.3456 mm"), font, rect, Qt::black), rect);
  const QRect lastDigit = composer.setText(QStringLiteral("12.3457 mm"), font, rect, Qt::black);
  EXPECT_FALSE(lastDigit.isEmpty());
  EXPECT_LT(lastDigit.width(), rect.width() / 4);
  EXPECT_TRUE(composer.setText(QStringLiteral("12.3457 mm"), font, rect, Qt::black).isEmpty());
  // A text too wide for the panel is left to drawText, which clips it.
  composer.setText(QStringLiteral("1234567890123456789 mm"), font, rect, Qt::black);
  EXPECT_FALSE(composer.composed());
}

// What the panel does on each change: only the dirty rectangle is cleared and
// drawn again, over what the previous text left. The result must be the new
// text, drawn whole.
TEST(GlyphText, RepaintingTheDirtyRectangleGivesTheNewText) {
  const QFont font = MakeFont(QStringLiteral("Arial"), 67, true);
  const QRect rect(1, 1, 639, 141);
  const auto whole = [&](const QString& text) {
    QImage image = Canvas();
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    return image;
  };
  GlyphText composer;
  QImage screen = Canvas();
  for (const char* text : {"12.3456 mm", "12.3457 mm", "12.3467 mm", "12.3467 mm", "-12.3467 mm", "12.346 mm",
                           "112.3467 mm", "1,112.3467 mm", "1,111.1111 mm", "Comm. error", "1,111.1111 mm",
                           "1\u00a0111,1111 mm", "11.1111 mm", "- - - - -", "11.1111 mm"}) {
    const QString caption = QString::fromUtf8(text);
    const QRect dirty = composer.setText(caption, font, rect, Qt::black);
    {
      QPainter p(&screen);
      p.setClipRect(dirty);
      p.fillRect(dirty, Qt::white);
      if (composer.composed()) {
        composer.draw(p, dirty);
      } else {
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption);
      }
    }
    EXPECT_EQ(screen, whole(caption)) << text;
  }
}

// A readout panel that changes its font, colour or palette after showing
// captions looks like one made that way from the start.
TEST(GlyphText, PanelRestyledLooksLikeANewOne) {
  const auto configured = [](Panel& panel, int pixels, TColor color, QColor text, const char* caption) {
    panel.resize(641, 143);
    panel.setFont(MakeFont(QStringLiteral("Arial"), pixels, true));
    panel.setColor(color);
    QPalette palette = panel.palette();
    palette.setColor(QPalette::WindowText, text);
    panel.setPalette(palette);
    panel.setCaption(QString::fromUtf8(caption));
  };
  Panel reused;
  configured(reused, 67, clBtnFace, Qt::black, "12.3456 mm");
  reused.grab();
  const struct {
    int pixels;
    TColor color;
    QColor text;
  } steps[] = {{67, clBtnFace, Qt::darkBlue}, {67, clYellow, Qt::darkBlue}, {67, clBtnFace, Qt::darkBlue},
               {80, clBtnFace, Qt::darkBlue}, {40, clBtnFace, Qt::darkBlue}, {67, clBtnFace, Qt::black}};
  for (const auto& step : steps) {
    configured(reused, step.pixels, step.color, step.text, "-3.4567 mm");
    Panel fresh;
    configured(fresh, step.pixels, step.color, step.text, "-3.4567 mm");
    EXPECT_EQ(reused.grab().toImage(), fresh.grab().toImage()) << step.pixels << " " << step.text.name().toStdString();
  }
}

}  // namespace
}  // namespace tarvex::testing
