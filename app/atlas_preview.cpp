#include "app/atlas_preview.h"

#include <QDialog>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <tuple>

#include "image/image_file.h"

namespace tilvane {

namespace {

constexpr double kLeastZoom = 1.0 / 32;
constexpr double kMostZoom = 32.0;
// One step of the zoom keys and buttons; a wheel notch is the same.
constexpr double kZoomStep = 1.25;
// Room left around the page when it is fitted.
constexpr int kFitMargin = 8;

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

QRectF atlasRect(const Rect& rect) {
    return QRectF(rect.left, rect.top, rect.width(), rect.height());
}

// The page's image in Qt's form; null when the file cannot be read, or the
// copy cannot be allocated.
QImage readPageImage(const std::string& path) {
    ImagePtr image = CreateBitmapFromFile(path);
    if (!image || (image->bitDepth() != 32 && !ensure32Bit(image))) return {};
    QImage result(image->width(), image->height(), QImage::Format_ARGB32);
    if (result.isNull()) return {};
    for (std::int32_t y = 0; y < image->height(); ++y) {
        const std::uint8_t* from = image->row(y);
        auto* to = reinterpret_cast<QRgb*>(result.scanLine(y));
        // Blue, green, red, alpha in memory, whatever the machine's byte order.
        for (std::int32_t x = 0; x < image->width(); ++x, from += 4) {
            to[x] = qRgba(from[2], from[1], from[0], from[3]);
        }
    }
    return result;
}

// Transparent parts of the atlas show a chequerboard, as image editors do.
QBrush chequerBrush() {
    QPixmap tile(16, 16);
    tile.fill(QColor(0xcc, 0xcc, 0xcc));
    QPainter painter(&tile);
    painter.fillRect(0, 0, 8, 8, QColor(0xf4, 0xf4, 0xf4));
    painter.fillRect(8, 8, 8, 8, QColor(0xf4, 0xf4, 0xf4));
    return QBrush(tile);
}

}  // namespace

AtlasPageView::AtlasPageView(const BuildRun::DrawnPage& page, QWidget* parent)
    : QGraphicsView(parent), page_(page) {
    setObjectName(QStringLiteral("atlasPageView"));
    auto* scene = new QGraphicsScene(this);
    const QRectF bounds(0, 0, std::max(1, page_.size.width), std::max(1, page_.size.height));
    scene->setSceneRect(bounds);
    setScene(scene);
    setBackgroundBrush(QColor(0x60, 0x60, 0x60));
    setDragMode(QGraphicsView::ScrollHandDrag);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setTransformationAnchor(QGraphicsView::AnchorViewCenter);
    setResizeAnchor(QGraphicsView::AnchorViewCenter);

    scene->addRect(bounds, Qt::NoPen, chequerBrush());
    image_ = scene->addPixmap(QPixmap());

    QPen outline(QColor(0xff, 0x00, 0xd0));
    outline.setCosmetic(true);
    outline.setWidth(1);
    // Aliases share one rectangle: it is outlined once.
    std::set<std::tuple<int, int, int, int>> drawn;
    for (const Rect& rect : page_.rects) {
        if (!drawn.insert({rect.left, rect.top, rect.right, rect.bottom}).second) continue;
        QGraphicsRectItem* item = scene->addRect(atlasRect(rect), outline);
        item->setData(0, QStringLiteral("frame"));
    }
    highlight_ = scene->addRect(QRectF(), Qt::NoPen, QColor(0xff, 0x00, 0xd0, 0x50));
    highlight_->setVisible(false);
    connect(&reader_, &QFutureWatcher<QImage>::finished, this, &AtlasPageView::takeImage);
}

QList<QRectF> AtlasPageView::outlines() const {
    QList<QRectF> rects;
    for (QGraphicsItem* item : scene()->items(Qt::AscendingOrder)) {
        if (item->data(0).toString() != QLatin1String("frame")) continue;
        rects << static_cast<QGraphicsRectItem*>(item)->rect();
    }
    return rects;
}

int AtlasPageView::frameAt(QPointF atlasPoint) const {
    const auto x = static_cast<std::int64_t>(std::floor(atlasPoint.x()));
    const auto y = static_cast<std::int64_t>(std::floor(atlasPoint.y()));
    for (std::size_t i = 0; i < page_.rects.size(); ++i) {
        const Rect& r = page_.rects[i];
        if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString AtlasPageView::describeAt(QPointF atlasPoint) const {
    const int index = frameAt(atlasPoint);
    if (index < 0) return {};
    const Rect& rect = page_.rects[static_cast<std::size_t>(index)];
    QStringList names;
    for (std::size_t i = 0; i < page_.rects.size() && i < page_.names.size(); ++i) {
        if (page_.rects[i] == rect) names << qt(page_.names[i]);
    }
    const auto at = static_cast<std::size_t>(index);
    const bool turned = at < page_.turns.size() && page_.turns[at] != 0;
    return QStringLiteral("%1: x %2, y %3, %4 × %5%6")
        .arg(names.join(QStringLiteral(", ")))
        .arg(rect.left)
        .arg(rect.top)
        .arg(rect.width())
        .arg(rect.height())
        .arg(turned ? page_.clockwise ? QStringLiteral(", turned clockwise")
                                      : QStringLiteral(", turned counter-clockwise")
                    : QString());
}

void AtlasPageView::fit() {
    const QSizeF view = QSizeF(viewport()->size()) - QSizeF(2 * kFitMargin, 2 * kFitMargin);
    const QRectF bounds = sceneRect();
    const double zoom = std::min(view.width() / bounds.width(), view.height() / bounds.height());
    setZoom(zoom > 0 ? zoom : kLeastZoom);
    fitting_ = true;
    centerOn(bounds.center());
}

void AtlasPageView::zoomBy(double factor) {
    setZoom(zoom_ * factor);
}

void AtlasPageView::setZoom(double zoom) {
    fitting_ = false;
    zoom_ = std::clamp(zoom, kLeastZoom, kMostZoom);
    setTransform(QTransform::fromScale(zoom_, zoom_));
    // Reduced, the pixels are averaged; enlarged, each stays a crisp square.
    image_->setTransformationMode(zoom_ < 1 ? Qt::SmoothTransformation : Qt::FastTransformation);
    emit zoomChanged(zoom_);
}

void AtlasPageView::loadImage() {
    if (state_ != ImageState::none) return;
    state_ = ImageState::reading;
    // The worker holds the promise, so it may outlive this view.
    auto promise = std::make_shared<QPromise<QImage>>();
    reader_.setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, path = page_.imageFile] {
        promise->addResult(readPageImage(path));
        promise->finish();
    });
}

void AtlasPageView::takeImage() {
    // A call-out of an earlier reading may come after a new one started.
    if (state_ != ImageState::reading || !reader_.isFinished()) return;
    state_ = ImageState::loaded;
    const QImage image = reader_.future().resultCount() > 0 ? reader_.result() : QImage();
    // The future would keep a copy of the image.
    reader_.setFuture({});
    if (image.isNull()) {
        loadProblem_ = QStringLiteral("%1 could not be read: only the outlines are shown.")
                           .arg(QFileInfo(qt(page_.imageFile)).fileName());
    } else {
        loadProblem_.clear();
        image_->setPixmap(QPixmap::fromImage(image));
    }
    emit imageLoadedChanged();
}

void AtlasPageView::releaseImage() {
    image_->setPixmap(QPixmap());
    state_ = ImageState::none;
    // A reading under way finishes into nothing.
    reader_.setFuture({});
}

void AtlasPageView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    // The point under the pointer stays put while the wheel zooms.
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    zoomBy(std::pow(kZoomStep, event->angleDelta().y() / 120.0));
    setTransformationAnchor(QGraphicsView::AnchorViewCenter);
    event->accept();
}

void AtlasPageView::mouseMoveEvent(QMouseEvent* event) {
    QGraphicsView::mouseMoveEvent(event);
    const QPointF point = mapToScene(event->position().toPoint());
    const int index = frameAt(point);
    highlight_->setVisible(index >= 0);
    if (index >= 0) highlight_->setRect(atlasRect(page_.rects[static_cast<std::size_t>(index)]));
    emit hovered(describeAt(point));
}

void AtlasPageView::leaveEvent(QEvent* event) {
    QGraphicsView::leaveEvent(event);
    highlight_->setVisible(false);
    emit hovered({});
}

void AtlasPageView::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    if (fitting_) fit();
}

AtlasPreview::AtlasPreview(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("atlasPreview"));
    setWindowTitle(QStringLiteral("Tilvane Preview"));

    auto* zoomRow = new QHBoxLayout;
    const auto addButton = [this, zoomRow](const QString& text, const QString& tip,
                                           void (AtlasPreview::*slot)(), const char* name) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        button->setToolTip(tip);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
        zoomRow->addWidget(button);
        zoomButtons_.push_back(button);
    };
    addButton(QStringLiteral("Zoom &out"), QStringLiteral("Zoom out (−, or Ctrl and the wheel)"),
              &AtlasPreview::zoomOut, "zoomOutButton");
    addButton(QStringLiteral("Zoom &in"), QStringLiteral("Zoom in (+, or Ctrl and the wheel)"),
              &AtlasPreview::zoomIn, "zoomInButton");
    addButton(QStringLiteral("&Fit"), QStringLiteral("The whole page in the window (0)"),
              &AtlasPreview::fit, "fitButton");
    addButton(QStringLiteral("&1:1"), QStringLiteral("One atlas pixel per screen pixel (1)"),
              &AtlasPreview::actualSize, "actualSizeButton");
    zoomLabel_ = new QLabel(this);
    zoomLabel_->setObjectName(QStringLiteral("zoomLabel"));
    zoomRow->addWidget(zoomLabel_);
    zoomRow->addStretch(1);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("pageTabs"));
    tabs_->setDocumentMode(true);
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        loadCurrent();
        showZoom();
        status_->setText(pageSummary());
    });
    empty_ = new QLabel(QStringLiteral("No atlas to show: the preview shows the pages of the last "
                                       "build that wrote its files."),
                        this);
    empty_->setObjectName(QStringLiteral("emptyNote"));
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("previewStatus"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* column = new QVBoxLayout(this);
    column->addLayout(zoomRow);
    column->addWidget(tabs_, 1);
    column->addWidget(empty_, 1);
    column->addWidget(status_);

    const auto shortcut = [this](const QKeySequence& keys, void (AtlasPreview::*slot)()) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                                     QKeySequence(QKeySequence::ZoomIn)}) {
        shortcut(keys, &AtlasPreview::zoomIn);
    }
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Minus), QKeySequence(QKeySequence::ZoomOut)}) {
        shortcut(keys, &AtlasPreview::zoomOut);
    }
    shortcut(QKeySequence(Qt::Key_0), &AtlasPreview::fit);
    shortcut(QKeySequence(Qt::Key_1), &AtlasPreview::actualSize);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);

    clear();
}

void AtlasPreview::showPages(const std::vector<BuildRun::DrawnPage>& pages) {
    clear();
    for (const BuildRun::DrawnPage& page : pages) {
        auto* view = new AtlasPageView(page, tabs_);
        connect(view, &AtlasPageView::hovered, this, [this](const QString& text) {
            status_->setText(text.isEmpty() ? pageSummary() : text);
        });
        connect(view, &AtlasPageView::zoomChanged, this, &AtlasPreview::showZoom);
        connect(view, &AtlasPageView::imageLoadedChanged, this, [this, view] {
            if (view == currentView() && !view->underMouse()) status_->setText(pageSummary());
        });
        const QString name = QFileInfo(qt(page.imageFile)).fileName();
        const int tab = tabs_->addTab(view, name);
        tabs_->setTabToolTip(tab, QStringLiteral("%1 (%2 × %3)")
                                      .arg(qt(page.imageFile))
                                      .arg(page.size.width)
                                      .arg(page.size.height));
    }
    const bool any = !pages.empty();
    tabs_->setVisible(any);
    empty_->setVisible(!any);
    for (QPushButton* button : zoomButtons_) button->setEnabled(any);
    loadCurrent();
    showZoom();
    status_->setText(pageSummary());
}

void AtlasPreview::clear() {
    while (tabs_->count() > 0) {
        QWidget* view = tabs_->widget(0);
        tabs_->removeTab(0);
        delete view;
    }
    tabs_->setVisible(false);
    empty_->setVisible(true);
    for (QPushButton* button : zoomButtons_) button->setEnabled(false);
    zoomLabel_->clear();
    status_->clear();
}

int AtlasPreview::pageCount() const {
    return tabs_->count();
}

AtlasPageView* AtlasPreview::pageView(int i) const {
    return qobject_cast<AtlasPageView*>(tabs_->widget(i));
}

AtlasPageView* AtlasPreview::currentView() const {
    return qobject_cast<AtlasPageView*>(tabs_->currentWidget());
}

QString AtlasPreview::statusText() const {
    return status_->text();
}

void AtlasPreview::zoomIn() {
    if (AtlasPageView* view = currentView()) view->zoomBy(kZoomStep);
}

void AtlasPreview::zoomOut() {
    if (AtlasPageView* view = currentView()) view->zoomBy(1 / kZoomStep);
}

void AtlasPreview::fit() {
    if (AtlasPageView* view = currentView()) view->fit();
}

void AtlasPreview::actualSize() {
    if (AtlasPageView* view = currentView()) view->setZoom(1.0);
}

void AtlasPreview::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    loadCurrent();
    status_->setText(pageSummary());
    emit shownChanged(true);
}

void AtlasPreview::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A hidden preview keeps no image: a large atlas is many megabytes.
    for (int i = 0; i < pageCount(); ++i) pageView(i)->releaseImage();
    emit shownChanged(false);
}

void AtlasPreview::loadCurrent() {
    if (!isVisible()) return;
    for (int i = 0; i < pageCount(); ++i) {
        if (i != tabs_->currentIndex()) pageView(i)->releaseImage();
    }
    if (AtlasPageView* view = currentView()) view->loadImage();
}

void AtlasPreview::showZoom() {
    const AtlasPageView* view = currentView();
    zoomLabel_->setText(view ? QStringLiteral("%1%").arg(std::lround(view->zoom() * 100))
                             : QString());
}

QString AtlasPreview::pageSummary() const {
    const AtlasPageView* view = currentView();
    if (!view) return {};
    if (!view->loadProblem().isEmpty()) return view->loadProblem();
    const BuildRun::DrawnPage& page = view->page();
    return QStringLiteral("%1: %2 × %3, %4 images")
        .arg(QFileInfo(qt(page.imageFile)).fileName())
        .arg(page.size.width)
        .arg(page.size.height)
        .arg(page.names.size());
}

void AtlasPreview::placeBeside(const QWidget& window) {
    // The window manager's borders, which a window not yet shown cannot measure.
    constexpr int kFrameAllowance = 8;
    constexpr int kLeastWidth = 360;
    const QRect frame = window.frameGeometry();
    const QScreen* screen = window.screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 900);
    const int height = std::min(room.height(), std::max(frame.height(), 360));
    const int wanted = std::min(room.width(), std::max(height * 4 / 3, 480));
    const int right = room.right() - frame.right() - kFrameAllowance;
    const int left = frame.left() - room.left() - kFrameAllowance;
    int width = wanted;
    int x = frame.right() + 1;
    if (right >= wanted) {
        // Beside it on the right, as wide as wanted.
    } else if (left >= wanted) {
        x = frame.left() - wanted - kFrameAllowance;
    } else if (std::max(left, right) >= kLeastWidth) {
        // Narrower, in the wider of the two gaps, rather than over the window.
        width = std::max(left, right);
        x = right >= left ? frame.right() + 1 : room.left();
    } else {
        // No gap is wide enough: at the screen's right edge, over the window.
        x = room.right() + 1 - wanted;
    }
    const int y = std::clamp(frame.top(), room.top(), room.bottom() + 1 - height);
    resize(width, height);
    move(x, y);
}

AtlasPreview* addPreviewToggle(QDialog& dialog, QRect geometry) {
    auto* button = new QPushButton(QStringLiteral("Preview &window"), &dialog);
    button->setObjectName(QStringLiteral("previewButton"));
    button->setCheckable(true);
    button->setAutoDefault(false);
    button->setToolTip(QStringLiteral("Shows the atlas the last build wrote, page by page"));
    button->setGeometry(geometry);
    auto* preview = new AtlasPreview(&dialog);
    QObject::connect(button, &QPushButton::toggled, preview, [preview, &dialog](bool on) {
        if (!on) {
            preview->hide();
            return;
        }
        if (!preview->property("placed").toBool()) {
            preview->placeBeside(dialog);
            preview->setProperty("placed", true);
        }
        preview->show();
        preview->raise();
    });
    QObject::connect(preview, &AtlasPreview::shownChanged, button, [button](bool shown) {
        const QSignalBlocker blocker(button);
        button->setChecked(shown);
    });
    QObject::connect(&dialog, &QDialog::finished, preview, &QWidget::hide);
    return preview;
}

}  // namespace tilvane
