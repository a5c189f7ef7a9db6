#include "ui/PlaylistWorker.h"

#include "core/Analysis.h"
#include "core/Playlists.h"

#include <QMetaObject>

TThreadAddPlaylist::TThreadAddPlaylist(std::string playlist, QObject* receiver, TItemHandler onItem,
                                       TDoneHandler onDone)
    : playlist_(std::move(playlist)), receiver_(receiver), onItem_(std::move(onItem)), onDone_(std::move(onDone)) {}

TThreadAddPlaylist::~TThreadAddPlaylist() { Cancel(); }

void TThreadAddPlaylist::Cancel() {
    requestInterruption();
    wait();
}

void TThreadAddPlaylist::run() {
    auto readers = std::make_unique<TFormatReaders>();
    const TPlaylistResult result =
        LoadPlaylist(playlist_, [&](const std::string& root, const std::string& path) {
            if (isInterruptionRequested()) return;
            // Shared so that an event dropped with its receiver frees the item.
            auto item = std::make_shared<std::unique_ptr<TAudioItem>>(::AnalyseFile(*readers, root, path));
            if (!*item) return;
            QMetaObject::invokeMethod(
                receiver_, [handler = onItem_, item] { handler(std::move(*item)); }, Qt::QueuedConnection);
        },
        // Asked during the reading of the playlist too, not only per entry.
        [this] { return isInterruptionRequested(); });
    if (isInterruptionRequested()) return;
    QMetaObject::invokeMethod(
        receiver_, [handler = onDone_, failures = result.Failures] { handler(failures); }, Qt::QueuedConnection);
}
