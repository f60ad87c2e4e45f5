#pragma once

#include "sim/Wire.h"

#include <QString>

#include <atomic>

namespace sim {

// Serves the simulated installation on a pseudo-terminal, so that the real
// serial port path is used end to end. linkPath becomes a symlink to the
// terminal's slave side.
class PtyServer {
  public:
    PtyServer(std::shared_ptr<Installation> installation, bool wireTime);
    ~PtyServer();

    // Creates the terminal and the link; false with error set on failure.
    bool start(const QString& linkPath, QString* error);
    // Serves until stop becomes true.
    void run(const std::atomic<bool>& stop);

  private:
    // A client opens the terminal exclusively; one that was killed never
    // cleared that, and the terminal (kept alive by the slave held here)
    // would refuse every later client that is not root. Once no other
    // process holds the terminal, exclusivity is cleared.
    void releaseLeftExclusivity();

    Wire m_wire;
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_slaveName;
    QString m_linkPath;
};

} // namespace sim
