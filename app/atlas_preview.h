#pragma once

#include <QFutureWatcher>
#include <QGraphicsView>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "model/build_run.h"

class QDialog;
class QGraphicsRectItem;
class QGraphicsPixmapItem;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tilvane {

// One page of the preview: the atlas image scaled by the zoom, every frame
// outlined, the frame under the pointer filled. The image is read from the
// page's file only while the page is on show (see AtlasPreview), so a long
// run of large pages holds one of them in memory, and it is read on a worker
// thread, so a large atlas never holds up the window or the Done dialog.
class AtlasPageView : public QGraphicsView {
    Q_OBJECT

public:
    AtlasPageView(const BuildRun::DrawnPage& page, QWidget* parent = nullptr);

    const BuildRun::DrawnPage& page() const { return page_; }
    // The rectangles of the outlines the view draws, in atlas pixels (each
    // distinct rectangle once: aliases share theirs).
    QList<QRectF> outlines() const;
    // What the status line says of an atlas point: the names of the frame
    // there (aliases joined by commas), its rectangle and whether it was drawn
    // turned; empty off every frame.
    QString describeAt(QPointF atlasPoint) const;

    double zoom() const { return zoom_; }
    bool fitting() const { return fitting_; }
    // The zoom that shows the whole page in the view.
    void fit();
    // Zooms by a factor, within 1/32 to 32; ends fitting.
    void zoomBy(double factor);
    void setZoom(double zoom);

    // Starts reading the page's image from its file, unless it is read or
    // being read; a file that cannot be read leaves the page blank and says
    // so in loadProblem(). imageLoaded() once the reading ended either way.
    void loadImage();
    // Gives the image's memory back (a reading under way is forgotten);
    // loadImage() reads it again.
    void releaseImage();
    bool imageLoaded() const { return state_ == ImageState::loaded; }
    const QString& loadProblem() const { return loadProblem_; }

signals:
    // The status line's text for the pointer's place (empty: off the frames).
    void hovered(const QString& text);
    void zoomChanged(double zoom);
    // A reading of the image ended (see loadProblem()).
    void imageLoadedChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The index into page_ of a frame holding the point, or -1.
    int frameAt(QPointF atlasPoint) const;
    void takeImage();

    BuildRun::DrawnPage page_;
    QGraphicsPixmapItem* image_ = nullptr;
    QGraphicsRectItem* highlight_ = nullptr;
    double zoom_ = 1.0;
    bool fitting_ = true;
    enum class ImageState { none, reading, loaded };
    ImageState state_ = ImageState::none;
    QFutureWatcher<QImage> reader_;
    QString loadProblem_;
};

// The atlas a build made: one tab per page, a zoom row and a status line
// naming the frame under the pointer. It is shown as a window of its own
// beside the main window, filled from a build's drawn pages and cleared when
// the next build starts, so it never shows what a failed or cancelled build
// left behind.
class AtlasPreview : public QWidget {
    Q_OBJECT

public:
    explicit AtlasPreview(QWidget* parent = nullptr);

    // One tab per page drawn, in order; no page shows the empty note.
    void showPages(const std::vector<BuildRun::DrawnPage>& pages);
    void clear();

    int pageCount() const;
    // The view of page i, or null.
    AtlasPageView* pageView(int i) const;
    AtlasPageView* currentView() const;
    QString statusText() const;

    // Places the window beside the main window, where the screen has room.
    void placeBeside(const QWidget& window);

signals:
    // The window was shown or hidden (its close box and Escape hide it).
    void shownChanged(bool shown);

public slots:
    void zoomIn();
    void zoomOut();
    void fit();
    void actualSize();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The page on show reads its image; the others give theirs back.
    void loadCurrent();
    void showZoom();
    // The status line when the pointer is on no frame: the page's summary.
    QString pageSummary() const;

    QTabWidget* tabs_ = nullptr;
    QLabel* empty_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    std::vector<QPushButton*> zoomButtons_;
};

// Adds the "Preview window" toggle to a dialog laid out in dialog units, at
// geometry (in those units, converted with the dialog's other children), and
// the preview window it shows and hides. The window is a child of the dialog:
// non-modal, hidden when the dialog ends, closed by its close box or Escape
// (which releases the toggle).
AtlasPreview* addPreviewToggle(QDialog& dialog, QRect geometry);

}  // namespace tilvane
