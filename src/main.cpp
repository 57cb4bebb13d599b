// Program entry: the Qt application, the hardware back end, the main window
// (whose construction runs the start-up), and an orderly close on SIGTERM,
// SIGINT and SIGHUP.

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/backend.h"
#include "ui/prompts.h"
#include "ui/tmain.h"

namespace {

// The write end of the self-pipe; the signal handler has no other way in.
int signal_write_fd = -1;

extern "C" void on_close_signal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signal_write_fd, &byte, 1);
    errno = saved;
}

// Turns SIGTERM, SIGINT and SIGHUP into a readable byte for the event loop.
class CloseSignals {
  public:
    CloseSignals() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) return;
        signal_write_fd = fds_[0];
        struct sigaction action {};
        action.sa_handler = on_close_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    }
    ~CloseSignals() {
        for (const int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
        signal_write_fd = -1;
        if (fds_[0] >= 0) ::close(fds_[0]);
        if (fds_[1] >= 0) ::close(fds_[1]);
    }
    CloseSignals(const CloseSignals&) = delete;
    CloseSignals& operator=(const CloseSignals&) = delete;

    int read_fd() const { return fds_[1]; }
    void drain() const {
        char buffer[16];
        while (::read(fds_[1], buffer, sizeof buffer) > 0) {
        }
    }

  private:
    int fds_[2] = {-1, -1};
};

bool has_env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

int main(int argc, char** argv) {
    // Without a display tessaron runs headless instead of failing (an empty
    // platform setting is no setting, as for Qt itself).
    if (!has_env("DISPLAY") && !has_env("WAYLAND_DISPLAY") && !has_env("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaron"));
    CloseSignals close_signals;
    tess::Prompts prompts(tess::Prompts::headless_platform());

    std::string error;
    auto backend = tess::Backend::from_environment(&error);
    if (!backend) {
        prompts.message_box(nullptr, error);
        return tess::kExitStartFailed;
    }

    tess::AppOptions options;
    for (int i = 1; i < argc; ++i) options.args.emplace_back(argv[i]);

    int code = tess::kExitOk;
    try {
        tess::TMain window(*backend, prompts, std::move(options));
        if (const auto exit_code = window.exit_code()) {
            code = *exit_code;
        } else {
            QSocketNotifier notifier(close_signals.read_fd(), QSocketNotifier::Read);
            QObject::connect(&notifier, &QSocketNotifier::activated, &window, [&] {
                close_signals.drain();
                // Closed in order, exactly as the window's own close.
                window.close();
                QCoreApplication::quit();
            });
            // Headless, nobody sees the window: it runs without being shown.
            if (!prompts.headless()) window.show();
            code = QApplication::exec();
            if (const auto exit_code = window.exit_code()) code = *exit_code;
        }
    } catch (const std::exception& e) {
        prompts.message_box(nullptr, e.what());
        code = tess::kExitStartFailed;
    }

    if (!backend->save(&error)) {
        prompts.message_box(nullptr, error);
        if (code == tess::kExitOk) code = tess::kExitStartFailed;
    }
    return code;
}
