// Takes the pictures of the window and the preview that the README and the
// user guide show: the real dialog after a build of <project>/sprites/ into
// <project>/atlas.png and atlas.json, grabbed as Qt draws it (the offscreen
// platform needs no display). scripts/screenshots runs it at scale 1 and 2.
//
//   tilvane-screenshots <project folder> <output folder> <name suffix>
//
// Writes <output>/dialog<suffix>.png and, at scale 1 (an empty suffix),
// <output>/preview.png. The settings file lives in a temporary folder, so
// nothing of the user's changes. Exits 1 when the build does not end with
// Done or a picture cannot be written.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/atlas_preview.h"
#include "app/main_dialog.h"
#include "app/more_options_panel.h"
#include "app/startup_paths.h"

using namespace tilvane;

namespace {

// Lets the event loop run for a while, so that layouts and paints settle.
void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget& widget, const QString& path) {
    if (widget.grab().save(path)) return true;
    std::fprintf(stderr, "tilvane-screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: tilvane-screenshots <project folder> <output folder> <suffix>\n");
        return 1;
    }
    const std::string project =
        QDir(QString::fromLocal8Bit(argv[1])).absolutePath().toStdString() + "/";
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QString suffix = QString::fromLocal8Bit(argv[3]);
    QTemporaryDir work;
    if (!work.isValid()) return 1;

    MainDialog window(startupPathsIn(work.path().toStdString() + "/"));
    JobSettings& settings = window.settings();
    settings.inputFolder = project + "sprites/";
    settings.outputImageFile = project + "atlas.png";
    settings.outputTextFile = project + "atlas.json";
    settings.cropMode = kCropEach;
    settings.sortOrder = kSortBySize;
    window.refreshControls(true);
    // The size found for the sprites, and the JSON hash engines load.
    window.moreOptions().setEntries({{"fit", "any"}, {"format", "hash"}});
    window.show();
    auto* previewButton = window.findChild<QPushButton*>("previewButton");
    if (suffix.isEmpty()) previewButton->click();
    AtlasPreview& preview = window.preview();
    preview.resize(560, 420);
    settle(300);

    // The Done dialog is answered from inside its own event loop.
    bool done = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&done] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            done = true;
            dialog->accept();
        }
    });
    answer.start(20);
    window.findChild<QPushButton*>("goButton")->click();
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    answer.stop();
    if (!done) {
        std::fprintf(stderr, "tilvane-screenshots: the build did not end with Done\n");
        return 1;
    }
    settle(300);
    if (!save(window, output + QStringLiteral("/dialog%1.png").arg(suffix))) return 1;
    if (!suffix.isEmpty()) return 0;

    // The pointer over a frame near the middle: its outline filled, its name below.
    AtlasPageView* view = preview.currentView();
    for (clock.restart(); view && !view->imageLoaded() && clock.elapsed() < 10000;) settle(20);
    if (!view || !view->imageLoaded() || view->outlines().isEmpty()) {
        std::fprintf(stderr, "tilvane-screenshots: the preview shows no atlas\n");
        return 1;
    }
    const QList<QRectF> outlines = view->outlines();
    const QPoint at = view->mapFromScene(outlines[outlines.size() / 2].center());
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    settle(200);
    return save(preview, output + QStringLiteral("/preview.png")) ? 0 : 1;
}
