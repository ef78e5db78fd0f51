// Draws the Kestrik logo (a shield holding a struck-through key) and writes
// Resources/logo.png, app/windows/Kestrik_KCC.ico and the desktop icons
// (share/icons/hicolor: square PNGs and an SVG) under the given root.
// Usage: makelogo <repo-root>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPainterPathStroker>
#include <QString>
#include <QSvgGenerator>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Design units: the shield fills a 200 x 226 box.
constexpr double kDesignW = 200.0;
constexpr double kDesignH = 226.0;

QPainterPath shieldPath(double inset)
{
    const double l = inset, r = kDesignW - inset, t = inset;
    const double b = kDesignH - inset;
    const double mid = kDesignW / 2.0;
    const double shoulder = 22.0 + inset;
    QPainterPath p;
    p.moveTo(mid, t);
    p.cubicTo(mid + 28, t + 13, r - 32, shoulder, r, shoulder);
    p.lineTo(r, 108);
    p.cubicTo(r, 166, mid + 52, b - 22, mid, b);
    p.cubicTo(mid - 52, b - 22, l, 166, l, 108);
    p.lineTo(l, shoulder);
    p.cubicTo(l + 32, shoulder, mid - 28, t + 13, mid, t);
    p.closeSubpath();
    return p;
}

// Maps design units to output pixels; snapping straight edges to whole
// pixels keeps small icons crisp instead of smeared across two rows.
struct Grid {
    double ox, oy, scale;
    double x(double v) const { return (std::round(ox + v * scale) - ox) / scale; }
    double y(double v) const { return (std::round(oy + v * scale) - oy) / scale; }
};

QRectF snapped(const Grid &g, double l, double t, double r, double b)
{
    return QRectF(QPointF(g.x(l), g.y(t)), QPointF(g.x(r), g.y(b)));
}

// Upright key, bow at the top and bit on the left, so the shaft and teeth
// follow the pixel grid. `px` is one output pixel in design units; the
// minimums keep the hole, shaft and teeth visible at 16 px.
QPainterPath keyPath(const Grid &g)
{
    const double px = 1.0 / g.scale;
    const double cx = kDesignW / 2.0;
    const double bowY = 60.0;
    const double holeR = std::max(13.0, 0.8 * px);
    const double bowR = std::max(32.0, holeR + 1.3 * px);
    const double half = std::max(9.0, 1.0 * px);
    // Keep the bit clear of the narrowing shield tip at small sizes.
    const double tip = std::min(194.0, kDesignH - 2.0 * std::max(7.0, px) - 2.0 * px);

    QPainterPath key;
    key.addEllipse(QPointF(cx, bowY), bowR, bowR);
    QPainterPath shaft;
    shaft.addRect(snapped(g, cx - half, bowY, cx + half, tip));
    key = key.united(shaft);

    const double tw = std::max(22.0, 1.5 * px);
    const double tl = std::max(14.0, 1.2 * px);
    QPainterPath teeth;
    teeth.addRect(snapped(g, cx - half - tw, tip - tl, cx, tip));
    if (px < 6.0)  // a second tooth merges into a blob at icon sizes
        teeth.addRect(snapped(g, cx - half - tw * 0.75, tip - 2.6 * tl, cx, tip - 1.6 * tl));
    key = key.united(teeth);

    QPainterPath hole;
    hole.addEllipse(QPointF(cx, bowY), holeR, holeR);
    return key.subtracted(hole);
}

// Renders the logo into `target` (a rectangle in image pixels), keeping the
// shield's proportions and centring it. `vector` draws the slash as shapes cut
// to the shield, since the SVG writer drops clipping.
void drawLogo(QPainter &p, const QRectF &target, bool vector = false)
{
    const double scale = std::min(target.width() / kDesignW, target.height() / kDesignH);
    const double ox = target.x() + (target.width() - kDesignW * scale) / 2.0;
    const double oy = target.y() + (target.height() - kDesignH * scale) / 2.0;
    const double px = 1.0 / scale;  // one output pixel in design units

    const double rimW = std::max(7.0, 1.0 * px);
    const double slashW = std::max(20.0, 1.7 * px);
    const double slashGap = std::max(7.0, 0.4 * px);

    p.save();
    p.translate(ox, oy);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, true);

    // Rim, then the body inset by the rim width.
    const QPainterPath outer = shieldPath(0.0);
    const QPainterPath inner = shieldPath(rimW);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9c, 0xc3, 0xe6));
    p.drawPath(outer);

    QLinearGradient body(QPointF(0, 0), QPointF(kDesignW, kDesignH));
    body.setColorAt(0.0, QColor(0x23, 0x5a, 0x8c));
    body.setColorAt(1.0, QColor(0x0e, 0x2a, 0x47));
    p.setBrush(body);
    p.drawPath(inner);

    p.setBrush(QColor(0xf4, 0xc4, 0x30));
    p.drawPath(keyPath(Grid{ox, oy, scale}));

    // Slash from upper left to lower right, cut into the key with a gap in
    // the body colour, and clipped to the shield body.
    const QPointF a(0, 28), b(200, 228);
    QPen gap(QColor(0x12, 0x33, 0x55), slashW + 2 * slashGap, Qt::SolidLine, Qt::FlatCap);
    QPen slash(QColor(0xe0, 0x3c, 0x31), slashW, Qt::SolidLine, Qt::FlatCap);
    if (vector) {
        QPainterPath line(a);
        line.lineTo(b);
        for (const QPen &pen : {gap, slash}) {
            QPainterPathStroker stroker(pen);
            p.fillPath(stroker.createStroke(line).intersected(inner), pen.color());
        }
    } else {
        p.setClipPath(inner);
        p.setPen(gap);
        p.drawLine(a, b);
        p.setPen(slash);
        p.drawLine(a, b);
    }
    p.restore();
}

QImage render(int w, int h, double margin)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    // Fixed metadata keeps the PNG bytes identical across runs.
    img.setDotsPerMeterX(2835);
    img.setDotsPerMeterY(2835);
    QPainter p(&img);
    drawLogo(p, QRectF(margin, margin, w - 2 * margin, h - 2 * margin));
    p.end();
    return img;
}

QByteArray pngBytes(const QImage &img)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    QImageWriter writer(&buf, "png");
    writer.setCompression(100);  // Qt maps 0..100 onto zlib levels 0..9
    if (!writer.write(img)) {
        std::fprintf(stderr, "PNG encoding failed: %s\n", qPrintable(writer.errorString()));
        return {};
    }
    return out;
}

void put16(QByteArray &a, uint16_t v)
{
    a.append(char(v & 0xff));
    a.append(char(v >> 8));
}

void put32(QByteArray &a, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        a.append(char((v >> (8 * i)) & 0xff));
}

// Classic 32 bpp DIB icon image: BITMAPINFOHEADER, bottom-up BGRA rows and
// the 1 bpp AND mask (set where fully transparent).
QByteArray dibBytes(const QImage &src)
{
    const QImage img = src.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const int maskStride = ((w + 31) / 32) * 4;
    const uint32_t xorSize = uint32_t(w) * uint32_t(h) * 4;
    const uint32_t andSize = uint32_t(maskStride) * uint32_t(h);

    QByteArray out;
    put32(out, 40);
    put32(out, uint32_t(w));
    put32(out, uint32_t(2 * h));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);  // BI_RGB
    put32(out, xorSize + andSize);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);

    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = line[x];
            out.append(char(qBlue(c)));
            out.append(char(qGreen(c)));
            out.append(char(qRed(c)));
            out.append(char(qAlpha(c)));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
        out.append(row);
    }
    return out;
}

const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The icon margins match the Windows icon's: a pixel of air, less when tiny.
double iconMargin(int size)
{
    return size >= 256 ? 4.0 : size >= 32 ? 1.0 : 0.5;
}

QByteArray icoBytes()
{
    struct Entry {
        int size;
        QByteArray data;
    };
    std::vector<Entry> entries;
    entries.push_back({256, pngBytes(render(256, 256, iconMargin(256)))});
    for (int s : {48, 32, 24, 16}) {
        entries.push_back({s, dibBytes(render(s, s, iconMargin(s)))});
    }

    QByteArray out;
    put16(out, 0);  // reserved
    put16(out, 1);  // icon
    put16(out, uint16_t(entries.size()));
    uint32_t offset = 6 + 16 * uint32_t(entries.size());
    for (const Entry &e : entries) {
        out.append(char(e.size >= 256 ? 0 : e.size));
        out.append(char(e.size >= 256 ? 0 : e.size));
        out.append(char(0));  // no palette
        out.append(char(0));
        put16(out, 1);   // planes
        put16(out, 32);  // bits per pixel
        put32(out, uint32_t(e.data.size()));
        put32(out, offset);
        offset += uint32_t(e.data.size());
    }
    for (const Entry &e : entries)
        out.append(e.data);
    return out;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (data.isEmpty() || !f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray svgBytes()
{
    constexpr int size = 256;
    QByteArray out;
    QBuffer buf(&out);
    QSvgGenerator svg;
    svg.setOutputDevice(&buf);
    svg.setSize(QSize(size, size));
    svg.setViewBox(QRect(0, 0, size, size));
    svg.setTitle(QStringLiteral("Kestrik KCC"));
    QPainter p(&svg);
    const double m = iconMargin(size);
    drawLogo(p, QRectF(m, m, size - 2 * m, size - 2 * m), true);
    p.end();
    return out;
}

bool writeIcons(const QString &root, const QString &name)
{
    const QString dir = root + "/share/icons/hicolor/";
    for (int s : kIconSizes) {
        const QString sub = dir + QString("%1x%1/apps").arg(s);
        if (!QDir().mkpath(sub)
            || !writeFile(sub + "/" + name + ".png", pngBytes(render(s, s, iconMargin(s)))))
            return false;
    }
    return QDir().mkpath(dir + "scalable/apps")
        && writeFile(dir + "scalable/apps/" + name + ".svg", svgBytes());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <repo-root> <icon-name>\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const bool ok = writeFile(root + "/Resources/logo.png", pngBytes(render(203, 229, 1.5)))
        && writeFile(root + "/app/windows/Kestrik_KCC.ico", icoBytes())
        && writeIcons(root, QString::fromLocal8Bit(argv[2]));
    return ok ? 0 : 1;
}
