// Scales the program's icon to the sizes of the desktop's icon theme.
//
// Area averaging over straight alpha: an integer enlargement repeats each
// pixel exactly, so the large icons keep the small picture's crisp edges, and
// a reduction mixes colours by coverage without dark fringes at transparent
// edges.

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// How much of source cells [0, from) each target cell [0, to) covers.
struct Span {
  int first;
  std::vector<double> weights;
};

std::vector<Span> Spans(int from, int to) {
  std::vector<Span> spans(static_cast<std::size_t>(to));
  for (int t = 0; t < to; ++t) {
    // Target cell t covers [t * from / to, (t + 1) * from / to) in source
    // cells; kept in units of 1 / to so integers stay exact.
    const long lo = static_cast<long>(t) * from;
    const long hi = lo + from;
    Span& s = spans[static_cast<std::size_t>(t)];
    s.first = static_cast<int>(lo / to);
    for (long c = s.first; c * to < hi; ++c) {
      const long a = std::max(lo, c * to);
      const long b = std::min(hi, (c + 1) * to);
      s.weights.push_back(static_cast<double>(b - a) / from);
    }
  }
  return spans;
}

QImage Scale(const QImage& in, int size) {
  const QImage src = in.convertToFormat(QImage::Format_ARGB32);
  const auto xs = Spans(src.width(), size);
  const auto ys = Spans(src.height(), size);
  QImage out(size, size, QImage::Format_ARGB32);
  for (int y = 0; y < size; ++y) {
    const Span& sy = ys[static_cast<std::size_t>(y)];
    for (int x = 0; x < size; ++x) {
      const Span& sx = xs[static_cast<std::size_t>(x)];
      double a = 0, r = 0, g = 0, b = 0;
      for (std::size_t j = 0; j < sy.weights.size(); ++j) {
        const QRgb* line = reinterpret_cast<const QRgb*>(src.constScanLine(sy.first + static_cast<int>(j)));
        for (std::size_t i = 0; i < sx.weights.size(); ++i) {
          const QRgb p = line[sx.first + static_cast<int>(i)];
          const double w = sy.weights[j] * sx.weights[i] * qAlpha(p);
          a += w;
          r += w * qRed(p);
          g += w * qGreen(p);
          b += w * qBlue(p);
        }
      }
      // Colour weighted by alpha, so fully transparent neighbours add none.
      const auto channel = [a](double v) { return a > 0 ? static_cast<int>(std::lround(v / a)) : 0; };
      out.setPixel(x, y, qRgba(channel(r), channel(g), channel(b), static_cast<int>(std::lround(a))));
    }
  }
  return out;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SOURCE.png SIZE OUT.png\n", argv[0]);
    return 2;
  }
  const QImage src(QString::fromLocal8Bit(argv[1]));
  const int size = std::atoi(argv[2]);
  if (src.isNull() || size < 1 || size > 1024) {
    std::fprintf(stderr, "%s: cannot read %s or bad size %s\n", argv[0], argv[1], argv[2]);
    return 1;
  }
  if (!Scale(src, size).save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
    return 1;
  }
  return 0;
}
