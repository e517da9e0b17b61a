#pragma once

#include "engine/AudioSpectrumBuffer.h"

#include <QUrl>
#include <QtGlobal>

#include <memory>

class QThread;

namespace orvanta {

class StreamSpectrumReadingWorker;

// The spectrum source of last resort for streams played by a player whose
// decoded audio is out of reach: a second, silent connection to the same
// stream address whose audio is decoded and analysed into `spectrum`, never
// played. It ends by itself when the stream ends, on a non-2xx answer or a
// transport or decoder failure, and reports nothing.
//
// Reading and decoding run on a thread of their own, with their own HTTP
// session: decoding is steady CPU work that must not take turns with the
// views on the main thread, and keeping network, decoder and analyser on one
// thread means no byte block ever crosses threads or waits in a queue. The
// main thread only flips a flag and waits for the block in hand.
class StreamSpectrumReader {
public:
    // Bytes handed to the decoder at a time; a smaller rest at the end of the
    // stream is left unparsed.
    static constexpr qsizetype blockSize = 2048;
    static constexpr double timeoutSeconds = 60.0;

    // Starts reading at once.
    StreamSpectrumReader(QUrl url, std::shared_ptr<AudioSpectrumBuffer> spectrum);
    // Cancels and waits for the reading thread to finish.
    ~StreamSpectrumReader();
    StreamSpectrumReader(const StreamSpectrumReader&) = delete;
    StreamSpectrumReader& operator=(const StreamSpectrumReader&) = delete;

    // Ends the reading. Returns once the block being decoded (if any) is
    // done; after that nothing more is decoded or analysed.
    void cancel();

    // Thread-safe; for watching the reader.
    bool isFinished() const;
    qint64 parsedBlocks() const;

    struct Progress;

private:
    std::shared_ptr<Progress> progress_;
    std::unique_ptr<QThread> thread_;
    StreamSpectrumReadingWorker* worker_;
};

}  // namespace orvanta
