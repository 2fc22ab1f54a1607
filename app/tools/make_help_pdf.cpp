// Makes the help document "Tilvane_Help.pdf" from the user guide, with its
// pictures (the atlas drawn here, the others read from beside the guide), and
// the icon files the installation needs.
//
//   tilvane-helpgen <user_guide.md> <output folder>
//
// Writes <output>/Tilvane_Help.pdf, <output>/atlas.png and
// <output>/icons/hicolor/<n>x<n>/apps/tilvane.png. Exits 1 when a file cannot
// be read or written.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/app_icon.h"

namespace {

// A picture of an atlas: sprites of several sizes packed first-fit from the
// top left, a border, spacing, on a checkerboard that stands for transparency.
QImage drawAtlasPicture() {
    constexpr int kWidth = 512, kHeight = 256, kBorder = 8, kSpacing = 4;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    for (int y = 0; y < kHeight; y += 16) {
        for (int x = 0; x < kWidth; x += 16) {
            p.fillRect(x, y, 16, 16, ((x + y) / 16) % 2 ? QColor(0xd8, 0xd8, 0xd8) : Qt::white);
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator random(7);
    struct Sprite {
        int w, h;
    };
    std::vector<Sprite> sprites;
    for (int i = 0; i < 34; ++i) {
        sprites.push_back({24 + static_cast<int>(random.bounded(7)) * 12,
                           24 + static_cast<int>(random.bounded(6)) * 12});
    }
    std::stable_sort(sprites.begin(), sprites.end(),
                     [](const Sprite& a, const Sprite& b) { return a.w * a.h > b.w * b.h; });
    std::vector<QRect> placed;
    const QColor colours[] = {QColor(0xf2, 0xa1, 0x2c), QColor(0x3f, 0xb8, 0xaf),
                              QColor(0xe0, 0x4f, 0x5f), QColor(0x7b, 0xc9, 0x4b),
                              QColor(0x8e, 0x6c, 0xd8), QColor(0x4a, 0x90, 0xe2)};
    int colour = 0;
    for (const Sprite& sprite : sprites) {
        // First fit: the first free spot scanning rows from the top left.
        bool done = false;
        for (int y = kBorder; !done && y + sprite.h <= kHeight - kBorder; y += 4) {
            for (int x = kBorder; !done && x + sprite.w <= kWidth - kBorder; x += 4) {
                const QRect footprint(x, y, sprite.w + kSpacing, sprite.h + kSpacing);
                bool free = true;
                for (const QRect& other : placed) free = free && !other.intersects(footprint);
                if (!free) continue;
                placed.push_back(footprint);
                const QRectF body(x, y, sprite.w, sprite.h);
                const QColor c = colours[colour++ % 6];
                p.setPen(Qt::NoPen);
                p.setBrush(c.lighter(160));
                p.drawRect(body);
                p.setBrush(c);
                const QRectF inner = body.adjusted(4, 4, -4, -4);
                switch (colour % 3) {
                    case 0:
                        p.drawEllipse(inner);
                        break;
                    case 1:
                        p.drawRoundedRect(inner, 6, 6);
                        break;
                    default: {
                        const QPointF points[] = {{inner.center().x(), inner.top()},
                                                  {inner.right(), inner.center().y()},
                                                  {inner.center().x(), inner.bottom()},
                                                  {inner.left(), inner.center().y()}};
                        p.drawPolygon(points, 4);
                    }
                }
                p.setPen(QPen(QColor(0, 0, 0, 90), 1));
                p.setBrush(Qt::NoBrush);
                p.drawRect(body.adjusted(0.5, 0.5, -0.5, -0.5));
                done = true;
            }
        }
    }
    p.setPen(QPen(QColor(0x24, 0x33, 0x4a), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, kWidth - 2, kHeight - 2));
    p.end();
    return image;
}

// Puts every picture the guide names into the document: atlas.png as drawn,
// any other from the guide's folder; none wider than the page's text. A
// picture that cannot be read is left out with a warning, not a failure.
void addPictures(QTextDocument& document, const QDir& guideFolder, const QImage& atlas,
                 qreal textWidth) {
    std::vector<std::pair<QTextFragment, QTextImageFormat>> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat()) {
                pictures.emplace_back(fragment, fragment.charFormat().toImageFormat());
            }
        }
    }
    for (auto& [fragment, format] : pictures) {
        const QString name = format.name();
        const QImage image = name == QLatin1String("atlas.png")
                                 ? atlas
                                 : QImage(guideFolder.filePath(QUrl(name).path()));
        if (image.isNull()) {
            std::fprintf(stderr, "tilvane-helpgen: warning: cannot read the picture %s\n",
                         qPrintable(name));
            continue;
        }
        document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        if (image.width() <= textWidth) continue;
        format.setWidth(textWidth);
        format.setHeight(image.height() * textWidth / image.width());
        QTextCursor cursor(&document);
        cursor.setPosition(fragment.position());
        cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}

bool writeIcons(const QString& folder) {
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/icons/hicolor/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(dir)) return false;
        if (!tilvane::drawAppIcon(size).save(dir + QStringLiteral("/tilvane.png"))) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tilvane-helpgen <user_guide.md> <output folder>\n");
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QFile guide(QString::fromLocal8Bit(argv[1]));
    if (!guide.open(QIODevice::ReadOnly) || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "tilvane-helpgen: cannot read %s\n", argv[1]);
        return 1;
    }
    const QImage atlas = drawAtlasPicture();
    if (!atlas.save(folder + QStringLiteral("/atlas.png")) || !writeIcons(folder)) {
        std::fprintf(stderr, "tilvane-helpgen: cannot write into %s\n", argv[2]);
        return 1;
    }

    const QString pdfPath = folder + QStringLiteral("/Tilvane_Help.pdf");
    QPdfWriter writer(pdfPath);
    writer.setTitle(QStringLiteral("Tilvane Help"));
    writer.setCreator(QStringLiteral("Tilvane"));
    writer.setResolution(96);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(10);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(guide.readAll()));
    // After the text: setting the text clears the document's resources.
    addPictures(document, QFileInfo(guide).absoluteDir(), atlas,
                writer.pageLayout().paintRectPixels(writer.resolution()).width());
    document.print(&writer);
    if (!QFile::exists(pdfPath) || QFileInfo(pdfPath).size() == 0) {
        std::fprintf(stderr, "tilvane-helpgen: cannot write %s\n", qPrintable(pdfPath));
        return 1;
    }
    return 0;
}
