// The hardware behind the ports for one run: the simulated nForce2 board
// (kept in its board file between runs) or the real ports of this machine.
// TESSARON_HW chooses (see os/hw_choice.h).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/debug_log.h"
#include "hw/port_io.h"
#include "hw/tools.h"

namespace tess {

namespace sim {
class SimBoard;
}

class Backend {
  public:
    // From the environment (TESSARON_HW, TESSARON_SIM_*). nullptr and a
    // message for the user in *error when it cannot be set up (an unknown
    // TESSARON_HW, a bad simulated board file, an unusable trace file).
    static std::unique_ptr<Backend> from_environment(std::string* error);
    // A simulated board made by the caller; saved to board_file (when not
    // empty) by save().
    static std::unique_ptr<Backend> simulated(std::unique_ptr<sim::SimBoard> board,
                                              std::filesystem::path board_file = {});
    // The real ports.
    static std::unique_ptr<Backend> linux_ports();

    // Saves the simulated board when save() was not called (every way out of
    // the program leaves the board file up to date).
    ~Backend();
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    PortIo& io();
    // The simulated board, or nullptr on the real ports.
    sim::SimBoard* sim_board() const { return board_.get(); }
    // What runs, for the log: "the simulated nForce2 board (simboard.toml)".
    std::string description() const;

    // Port access: 0 granted, -1 refused (reasons in the log).
    int io_init(DebugLog& log);
    // What "Shutdown" asks of the machine (mode 0 power off, 1 restart,
    // 3 log off): the simulated machine records it; on Linux systemd-logind
    // is asked.
    Tools::ShutdownFunction shutdown_function();

    // Writes the simulated board back to its file (nothing on the real
    // ports). False with the reason in *error when the file cannot be written.
    bool save(std::string* error);

  private:
    struct Token {
        explicit Token() = default;
    };

  public:
    explicit Backend(Token);

  private:
    std::unique_ptr<sim::SimBoard> board_;
    std::filesystem::path board_file_;
    std::unique_ptr<PortIo> ports_;  // the real ports
    bool saved_ = false;
};

}  // namespace tess
