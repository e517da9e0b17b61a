#include "engine/StreamSpectrumDecoder.h"

#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <utility>
#include <vector>

namespace orvanta {

struct StreamSpectrumDecoder::Codec {
    AVCodecParserContext* parser = nullptr;
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwrContext* resampler = nullptr;  // only for decoders without planar float output
    int resamplerRate = 0;
    int resamplerChannels = 0;
    int resamplerFormat = -1;
    std::vector<float> converted;
    std::vector<uint8_t> input;  // the bytes being parsed, with padding
    // Packets of the current parse call: the batch is bounded in bytes.
    std::vector<QByteArray> batch;

    ~Codec() {
        swr_free(&resampler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
        if (parser)
            av_parser_close(parser);
    }
};

namespace {

// What a frame header at some offset says: its format and length, or nothing
// when the bytes there are not a plausible header.
struct FrameHeader {
    StreamSpectrumDecoder::FileTypeHint type = StreamSpectrumDecoder::FileTypeHint::none;
    qsizetype length = 0;
    int shape = 0;  // version, layer and rate bits that stay the same from frame to frame
};

FrameHeader readMpegAudioHeader(const unsigned char* bytes) {
    static constexpr int bitrates[2][3][16] = {
        // MPEG-1: layers 1, 2, 3 (kbit/s)
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        // MPEG-2 and 2.5
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
    static constexpr int rates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return {};
    const int version = (bytes[1] >> 3) & 3;    // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layerBits = (bytes[1] >> 1) & 3;  // 3: layer 1, 2: layer 2, 1: layer 3
    const int bitrateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || rateIndex == 3)
        return {};
    const int layer = 4 - layerBits;
    const int bitrate = bitrates[version == 3 ? 0 : 1][layer - 1][bitrateIndex] * 1000;
    const int rate = rates[version][rateIndex];
    if (bitrate == 0)
        return {};  // free format or a forbidden index: not worth the risk of a false match
    const int padding = (bytes[2] >> 1) & 1;
    qsizetype length = 0;
    if (layer == 1)
        length = (12 * bitrate / rate + padding) * 4;
    else if (layer == 3 && version != 3)
        length = 72 * bitrate / rate + padding;
    else
        length = 144 * bitrate / rate + padding;
    return {StreamSpectrumDecoder::FileTypeHint::mp3, length,
            (bytes[1] & 0x1E) << 8 | (bytes[2] & 0x0C)};
}

FrameHeader readAdtsHeader(const unsigned char* bytes) {
    if (bytes[0] != 0xFF || (bytes[1] & 0xF6) != 0xF0)
        return {};
    const int rateIndex = (bytes[2] >> 2) & 0x0F;
    const qsizetype length = (bytes[3] & 0x03) << 11 | bytes[4] << 3 | bytes[5] >> 5;
    const qsizetype headerLength = (bytes[1] & 0x01) ? 7 : 9;
    if (rateIndex >= 13 || length <= headerLength)
        return {};
    return {StreamSpectrumDecoder::FileTypeHint::adts, length,
            (bytes[1] & 0x0E) << 8 | (bytes[2] & 0xFC)};
}

FrameHeader readHeader(const unsigned char* bytes) {
    const FrameHeader mpeg = readMpegAudioHeader(bytes);
    return mpeg.type != StreamSpectrumDecoder::FileTypeHint::none ? mpeg : readAdtsHeader(bytes);
}

// Tells MP3 from ADTS AAC when no media type said which. A radio stream may
// start in the middle of a frame, and compressed data is full of byte pairs
// that look like a sync word, so a header only counts when another header of
// the same shape follows exactly one frame length later. A candidate whose
// successor has not arrived yet leaves the answer open until more bytes come.
StreamSpectrumDecoder::FileTypeHint sniff(const QByteArray& bytes) {
    constexpr qsizetype headerBytes = 6;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i + headerBytes <= bytes.size(); ++i) {
        const FrameHeader header = readHeader(data + i);
        if (header.type == StreamSpectrumDecoder::FileTypeHint::none)
            continue;
        const qsizetype next = i + header.length;
        if (next + headerBytes > bytes.size())
            return StreamSpectrumDecoder::FileTypeHint::none;
        const FrameHeader following = readHeader(data + next);
        if (following.type == header.type && following.shape == header.shape)
            return header.type;
    }
    return StreamSpectrumDecoder::FileTypeHint::none;
}

}  // namespace

StreamSpectrumDecoder::StreamSpectrumDecoder(FileTypeHint hint,
                                             std::function<void(const PcmBuffer&)> receive)
    : hint_(hint), receive_(std::move(receive)) {
    output_.samples.reserve(maxFramesPerBuffer * 2);
}

StreamSpectrumDecoder::~StreamSpectrumDecoder() = default;

StreamSpectrumDecoder::FileTypeHint StreamSpectrumDecoder::hintForMimeType(
    const QString& mimeType) {
    const QString type = mimeType.toLower();
    if (type == QLatin1String("audio/mpeg") || type == QLatin1String("audio/mp3")) {
        return FileTypeHint::mp3;
    }
    if (type == QLatin1String("audio/aac") || type == QLatin1String("audio/aacp")) {
        return FileTypeHint::adts;
    }
    return FileTypeHint::none;
}

bool StreamSpectrumDecoder::open(FileTypeHint hint) {
    // Damaged frames are expected in radio streams and are dropped quietly;
    // FFmpeg would otherwise log each one.
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    (void)quiet;
    const AVCodecID id = hint == FileTypeHint::adts ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP3;
    const AVCodec* decoder = avcodec_find_decoder(id);
    if (!decoder)
        return false;
    auto codec = std::make_unique<Codec>();
    codec->parser = av_parser_init(id);
    codec->context = avcodec_alloc_context3(decoder);
    codec->packet = av_packet_alloc();
    codec->frame = av_frame_alloc();
    if (!codec->parser || !codec->context || !codec->packet || !codec->frame)
        return false;
    codec->context->thread_count = 1;
    if (avcodec_open2(codec->context, decoder, nullptr) < 0)
        return false;
    codec_ = std::move(codec);
    return true;
}

bool StreamSpectrumDecoder::parse(const char* data, qsizetype size) {
    if (!data || size <= 0)
        return true;
    if (!codec_) {
        FileTypeHint hint = hint_;
        if (hint == FileTypeHint::none) {
            // Gather a little of the stream until its frames say what it is.
            sniffed_.append(data, size);
            hint = sniff(sniffed_);
            if (hint == FileTypeHint::none) {
                bytesWithoutAudio_ += size;
                if (bytesWithoutAudio_ > maxBytesWithoutAudio)
                    return false;
                // Keep enough for the largest frame and the header after it,
                // so a frame that straddles the cut can still be confirmed.
                if (sniffed_.size() > maxSniffBytes)
                    sniffed_.remove(0, sniffed_.size() - sniffTailBytes);
                return true;
            }
            if (!open(hint))
                return false;
            bytesWithoutAudio_ = 0;
            const QByteArray pending = std::exchange(sniffed_, QByteArray());
            return parse(pending.constData(), pending.size());
        }
        if (!open(hint))
            return false;
    }

    Codec& codec = *codec_;
    codec.batch.clear();
    qsizetype largestPacket = 0;
    bool oversized = false;
    // FFmpeg's parsers may read up to AV_INPUT_BUFFER_PADDING_SIZE bytes past
    // the end of their input, so the bytes are handed over in slices copied to
    // a fixed scratch area with zeroed padding; a large chunk costs no extra
    // copy of its own size.
    codec.input.resize(static_cast<size_t>(parseSliceBytes) + AV_INPUT_BUFFER_PADDING_SIZE);
    while (size > 0) {
        const qsizetype slice = std::min(size, parseSliceBytes);
        std::copy_n(reinterpret_cast<const uint8_t*>(data), slice, codec.input.data());
        // Only the padding right after the slice has to be zero; network
        // chunks are far smaller than the scratch area.
        std::fill_n(codec.input.begin() + slice, AV_INPUT_BUFFER_PADDING_SIZE, uint8_t(0));
        data += slice;
        size -= slice;
        const uint8_t* input = codec.input.data();
        qsizetype remaining = slice;
        // One more call with no input flushes a frame the parser holds back
        // only when the stream ends; a live stream never ends, so it is not
        // needed.
        while (remaining > 0) {
            uint8_t* packetData = nullptr;
            int packetSize = 0;
            const int used =
                av_parser_parse2(codec.parser, codec.context, &packetData, &packetSize, input,
                                 static_cast<int>(remaining), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0)
                return false;
            input += used;
            remaining -= used;
            // Frames are a few kilobytes at most; this much without one is
            // not a stream of this format (a page, another codec), and
            // reading on would only download it for nothing.
            bytesWithoutAudio_ = packetSize > 0 ? 0 : bytesWithoutAudio_ + used;
            if (bytesWithoutAudio_ > maxBytesWithoutAudio)
                return false;
            if (packetSize > 0 && !oversized) {
                largestPacket = std::max<qsizetype>(largestPacket, packetSize);
                // A batch that would need more than the bound to hold is
                // refused whole, to bound memory against hostile streams; the
                // parser still sees every byte so that it stays in step.
                if (largestPacket * static_cast<qsizetype>(codec.batch.size() + 1) >
                    maxPacketBatchBytes) {
                    oversized = true;
                    codec.batch.clear();
                } else {
                    codec.batch.emplace_back(reinterpret_cast<const char*>(packetData), packetSize);
                }
            }
            if (used == 0 && packetSize == 0)
                break;
        }
    }
    if (oversized || codec.batch.empty()) {
        codec.batch.clear();
        return true;
    }
    decodeBatch();
    flushOutput();
    return true;
}

void StreamSpectrumDecoder::decodeBatch() {
    Codec& codec = *codec_;
    for (const QByteArray& packetBytes : codec.batch) {
        if (av_new_packet(codec.packet, static_cast<int>(packetBytes.size())) < 0)
            continue;
        std::copy(packetBytes.begin(), packetBytes.end(), codec.packet->data);
        const int sent = avcodec_send_packet(codec.context, codec.packet);
        av_packet_unref(codec.packet);
        if (sent < 0)
            continue;  // a damaged packet is dropped
        while (avcodec_receive_frame(codec.context, codec.frame) == 0) {
            AVFrame* frame = codec.frame;
            const int channels = frame->ch_layout.nb_channels;
            const int rate = frame->sample_rate;
            if (channels <= 0 || channels > 8 || rate <= 0 || frame->nb_samples <= 0) {
                av_frame_unref(frame);
                continue;
            }
            if (frame->format == AV_SAMPLE_FMT_FLTP) {
                emitFrames(reinterpret_cast<const float* const*>(frame->extended_data), channels,
                           rate, frame->nb_samples);
            } else {
                // Convert other sample formats to planar float.
                if (!codec.resampler || codec.resamplerRate != rate ||
                    codec.resamplerChannels != channels || codec.resamplerFormat != frame->format) {
                    swr_free(&codec.resampler);
                    if (swr_alloc_set_opts2(&codec.resampler, &frame->ch_layout, AV_SAMPLE_FMT_FLTP,
                                            rate, &frame->ch_layout,
                                            static_cast<AVSampleFormat>(frame->format), rate, 0,
                                            nullptr) < 0 ||
                        swr_init(codec.resampler) < 0) {
                        swr_free(&codec.resampler);
                        av_frame_unref(frame);
                        continue;
                    }
                    codec.resamplerRate = rate;
                    codec.resamplerChannels = channels;
                    codec.resamplerFormat = frame->format;
                }
                codec.converted.resize(static_cast<size_t>(frame->nb_samples) * channels);
                std::vector<uint8_t*> planes(channels);
                for (int c = 0; c < channels; ++c) {
                    planes[c] = reinterpret_cast<uint8_t*>(
                        codec.converted.data() + static_cast<size_t>(c) * frame->nb_samples);
                }
                const int produced = swr_convert(codec.resampler, planes.data(), frame->nb_samples,
                                                 const_cast<const uint8_t**>(frame->extended_data),
                                                 frame->nb_samples);
                if (produced > 0) {
                    std::vector<const float*> views(channels);
                    for (int c = 0; c < channels; ++c) {
                        views[c] = reinterpret_cast<const float*>(planes[c]);
                    }
                    emitFrames(views.data(), channels, rate, produced);
                }
            }
            av_frame_unref(frame);
        }
    }
    codec.batch.clear();
}

void StreamSpectrumDecoder::emitFrames(const float* const* planes, int channels, int sampleRate,
                                       int frames) {
    if (output_.frames > 0 && (output_.channels != channels || output_.sampleRate != sampleRate)) {
        flushOutput();
    }
    int offset = 0;
    while (offset < frames) {
        if (output_.frames == 0) {
            output_.channels = channels;
            output_.sampleRate = sampleRate;
            output_.samples.resize(static_cast<size_t>(maxFramesPerBuffer) * channels);
        }
        const int take = std::min(frames - offset, maxFramesPerBuffer - output_.frames);
        for (int c = 0; c < channels; ++c) {
            std::copy_n(planes[c] + offset, take,
                        output_.samples.data() + static_cast<size_t>(c) * maxFramesPerBuffer +
                            output_.frames);
        }
        output_.frames += take;
        offset += take;
        if (output_.frames == maxFramesPerBuffer)
            flushOutput();
    }
}

void StreamSpectrumDecoder::flushOutput() {
    if (output_.frames == 0)
        return;
    // Planes were laid out 4096 apart while filling; close the gaps. The
    // handed-over buffer keeps its storage between calls.
    PcmBuffer& buffer = ready_;
    buffer.sampleRate = output_.sampleRate;
    buffer.channels = output_.channels;
    buffer.frames = output_.frames;
    buffer.samples.resize(static_cast<size_t>(buffer.frames) * buffer.channels);
    for (int c = 0; c < buffer.channels; ++c) {
        std::copy_n(output_.samples.data() + static_cast<size_t>(c) * maxFramesPerBuffer,
                    buffer.frames, buffer.plane(c));
    }
    output_.frames = 0;
    if (receive_)
        receive_(buffer);
}

}  // namespace orvanta
