#include "app/backend.h"

#include <cstdio>
#include <cstdlib>

#include "os/hw_choice.h"
#include "os/io_init.h"
#include "os/linux_port_io.h"
#include "os/logind.h"
#include "sim/sim_board.h"

namespace tess {

std::unique_ptr<Backend> Backend::from_environment(std::string* error) {
    const auto choice = choose_backend(std::getenv("TESSARON_HW"), error);
    if (!choice) return nullptr;
    if (*choice == HwBackend::Linux) return linux_ports();

    std::string reason;
    std::filesystem::path file;
    auto board = sim::sim_from_environment(&reason, &file);
    if (!board) {
        if (error) *error = "Sorry, the simulated board could not be set up: " + reason;
        return nullptr;
    }
    return simulated(std::move(board), std::move(file));
}

std::unique_ptr<Backend> Backend::simulated(std::unique_ptr<sim::SimBoard> board,
                                            std::filesystem::path board_file) {
    auto backend = std::make_unique<Backend>(Token{});
    backend->board_ = std::move(board);
    backend->board_file_ = std::move(board_file);
    return backend;
}

std::unique_ptr<Backend> Backend::linux_ports() {
    auto backend = std::make_unique<Backend>(Token{});
    backend->ports_ = std::make_unique<LinuxPortIo>();
    return backend;
}

Backend::Backend(Token) {}

Backend::~Backend() {
    if (saved_) return;
    std::string error;
    if (!save(&error)) std::fprintf(stderr, "%s\n", error.c_str());
}

PortIo& Backend::io() {
    if (board_) return *board_;
    return *ports_;
}

std::string Backend::description() const {
    if (!board_) return "the Linux ports";
    if (board_file_.empty()) return "the simulated nForce2 board";
    return "the simulated nForce2 board (" + board_file_.string() + ")";
}

int Backend::io_init(DebugLog& log) {
    return tess::io_init(log, io());
}

Tools::ShutdownFunction Backend::shutdown_function() {
    if (board_) {
        sim::SimBoard* board = board_.get();
        return [board](int mode) {
            board->request_shutdown(mode);
            return 0;
        };
    }
    return [](int mode) { return logind_shutdown(mode); };
}

bool Backend::save(std::string* error) {
    saved_ = true;
    if (!board_ || board_file_.empty()) return true;
    std::string reason;
    if (board_->save(board_file_, &reason)) return true;
    if (error)
        *error = "Sorry, the simulated board could not be saved to " + board_file_.string() + ": " +
                 reason;
    return false;
}

}  // namespace tess
