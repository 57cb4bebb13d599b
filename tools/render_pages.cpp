// tessaron-pages OUTDIR [DATADIR]: renders every page of the main window to
// a PNG, headless. The window starts as tessaron does, on the simulated
// nForce2 board (virtual clock) in a temporary working directory that holds
// boards.ini and controls.ini (the shipped ones from data/, or those of
// DATADIR, which may also hold a config.ini), on Qt's offscreen platform with
// the DejaVu Sans font; each visible tab is saved as OUTDIR/<tab>.png
// (main.png, settings.png, ...). Exit code 0 when every page was saved.

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/backend.h"
#include "sim/sim_board.h"
#include "ui/prompts.h"
#include "ui/tmain.h"
#include "ui_tmain.h"

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int kFontPointSize = 9;

// "Chart and log settings" -> "chart-and-log-settings".
QString file_name(const QString& tab_title) {
    QString name = tab_title.toLower();
    name.remove(QLatin1Char('&'));
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    return name + QStringLiteral(".png");
}

int fail(const std::string& text) {
    std::fprintf(stderr, "tessaron-pages: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return fail("usage: tessaron-pages OUTDIR [DATADIR]");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaron"));

    if (QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFile)) < 0)
        return fail(std::string("cannot load ") + kFontFile +
                    " (Debian package fonts-dejavu-core)");
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(kFontPointSize);
    QApplication::setFont(font);

    const QDir out(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
    if (!QDir().mkpath(out.path())) return fail("cannot create " + out.path().toStdString());

    QTemporaryDir work;
    if (!work.isValid()) return fail("cannot create a temporary working directory");
    const std::filesystem::path dir = work.path().toStdString();
    const std::filesystem::path data = argc == 3
                                           ? std::filesystem::absolute(argv[2])
                                           : std::filesystem::path(TESSARON_SOURCE_DIR) / "data";
    std::error_code error;
    for (const char* name : {"boards.ini", "controls.ini", "config.ini"}) {
        if (std::string(name) == "config.ini" && !std::filesystem::exists(data / name)) continue;
        std::filesystem::copy_file(data / name, dir / name, error);
        if (error) return fail("cannot copy " + (data / name).string() + ": " + error.message());
    }
    std::filesystem::current_path(dir);

    std::string message;
    auto board = tess::sim::SimBoard::from_toml(tess::sim::SimBoard::default_profile(), &message);
    if (!board) return fail(message);
    board->set_virtual_clock(true);
    auto backend = tess::Backend::simulated(std::move(board));
    tess::Prompts prompts(true);  // any message goes to standard error
    tess::AppOptions options;
    options.instance_dir = dir / "registry";

    tess::TMain window(*backend, prompts, options);
    if (window.exit_code()) return fail("the window did not start (see tessaron.log)");
    window.show();
    QApplication::processEvents();

    QTabWidget* pages = window.ui().PageControl1;
    int saved = 0;
    for (int i = 0; i < pages->count(); ++i) {
        if (!pages->isTabVisible(i)) continue;
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        const QString path = out.filePath(file_name(pages->tabText(i)));
        if (!window.grab().save(path)) return fail("cannot write " + path.toStdString());
        std::printf("%s\n", path.toLocal8Bit().constData());
        ++saved;
    }
    window.close();
    return saved > 0 ? 0 : 1;
}
