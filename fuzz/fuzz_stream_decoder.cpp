// The compressed-audio parser and decoder over arbitrary bytes, in both
// formats and with format sniffing.

#include "engine/StreamSpectrumDecoder.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    using Hint = orvanta::StreamSpectrumDecoder::FileTypeHint;
    const Hint hint = data[0] % 3 == 0 ? Hint::mp3 : data[0] % 3 == 1 ? Hint::adts : Hint::none;
    orvanta::StreamSpectrumDecoder decoder(
        hint, [](const orvanta::PcmBuffer& buffer) { (void)buffer.frames; });
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    for (qsizetype offset = 0; offset < length; offset += 2048) {
        decoder.parse(bytes + offset, std::min<qsizetype>(2048, length - offset));
    }
    return 0;
}
