#pragma once

#include "link/LinkObserver.h"

#include <QStringList>

// Frames seen on the line: as "address:command" in hex, and whole.
struct CommandLog : bus::LinkObserver {
    QStringList sent;
    QByteArrayList frames;
    void frameSent(qint64, QByteArrayView f) override {
        sent << QString::fromLatin1(f.sliced(1, 2).toByteArray() + ":" +
                                    f.sliced(3, 2).toByteArray());
        frames << f.toByteArray();
    }
    void charactersReceived(qint64, QByteArrayView) override {}
};
