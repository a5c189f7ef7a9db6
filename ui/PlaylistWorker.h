// TThreadAddPlaylist: loads a playlist given at start-up on a worker thread.
// The worker analyses the entries with its own reader instances, so it never
// touches the readers, items, rows or totals of the window; every finished
// item is handed to the window's thread, which appends it (row and totals)
// in playlist order. A folder selection during the load cancels it, and
// closing the window stops it before anything it reports to is freed.
#pragma once

#include "core/AnalysisList.h"

#include <QThread>

#include <functional>
#include <memory>
#include <vector>

class TThreadAddPlaylist : public QThread {
    Q_OBJECT
public:
    // An analysed item; the receiver takes it (or drops it).
    using TItemHandler = std::function<void(std::unique_ptr<TAudioItem>)>;
    // The end of the load, with the entries that could not be analysed.
    using TDoneHandler = std::function<void(std::vector<TFailure>)>;

    // receiver: the object on whose thread both handlers run; they are not
    // called once the receiver is gone.
    TThreadAddPlaylist(std::string playlist, QObject* receiver, TItemHandler onItem, TDoneHandler onDone);
    ~TThreadAddPlaylist() override;

    // Stops the load after the entry under way and waits for the thread.
    void cancel();

protected:
    void run() override;

private:
    std::string playlist_;
    QObject* receiver_;
    TItemHandler onItem_;
    TDoneHandler onDone_;
};
