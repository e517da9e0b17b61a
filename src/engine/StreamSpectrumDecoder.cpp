#include "engine/StreamSpectrumDecoder.h"

#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
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

// Looks for a frame sync word to tell MP3 from ADTS AAC when no media type
// said which. ADTS: 12 sync bits and layer 00; MPEG audio: 11 sync bits and a
// non-zero layer.
StreamSpectrumDecoder::FileTypeHint sniff(const QByteArray& bytes) {
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (first != 0xFF)
            continue;
        if ((second & 0xF6) == 0xF0)
            return StreamSpectrumDecoder::FileTypeHint::adts;
        if ((second & 0xE0) == 0xE0 && (second & 0x06) != 0) {
            return StreamSpectrumDecoder::FileTypeHint::mp3;
        }
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
    if (!codec_) {
        FileTypeHint hint = hint_;
        if (hint == FileTypeHint::none) {
            // Gather a little of the stream until its frames say what it is.
            sniffed_.append(data, size);
            hint = sniff(sniffed_);
            if (hint == FileTypeHint::none) {
                if (sniffed_.size() > 65536)
                    sniffed_.remove(0, sniffed_.size() - 1);
                return true;
            }
            if (!open(hint))
                return false;
            const QByteArray pending = std::exchange(sniffed_, QByteArray());
            return parse(pending.constData(), pending.size());
        }
        if (!open(hint))
            return false;
    }

    Codec& codec = *codec_;
    codec.batch.clear();
    qsizetype largestPacket = 0;
    // FFmpeg's parsers may read up to AV_INPUT_BUFFER_PADDING_SIZE bytes past
    // the end of their input, so the bytes are handed over in a copy with
    // zeroed padding.
    codec.input.resize(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::copy_n(reinterpret_cast<const uint8_t*>(data), size, codec.input.data());
    std::fill(codec.input.begin() + size, codec.input.end(), uint8_t(0));
    const uint8_t* input = codec.input.data();
    qsizetype remaining = size;
    // One more call with no input flushes a frame the parser holds back only
    // when the stream ends; a live stream never ends, so it is not needed.
    while (remaining > 0) {
        uint8_t* packetData = nullptr;
        int packetSize = 0;
        const int used =
            av_parser_parse2(codec.parser, codec.context, &packetData, &packetSize, input,
                             static_cast<int>(std::min<qsizetype>(remaining, 1 << 30)),
                             AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0)
            return false;
        input += used;
        remaining -= used;
        if (packetSize > 0) {
            codec.batch.emplace_back(reinterpret_cast<const char*>(packetData), packetSize);
            largestPacket = std::max<qsizetype>(largestPacket, packetSize);
        }
        if (used == 0 && packetSize == 0)
            break;
    }
    // A batch that would need more than the bound to hold is refused whole, to
    // bound memory against hostile streams.
    if (codec.batch.empty() ||
        largestPacket * static_cast<qsizetype>(codec.batch.size()) > maxPacketBatchBytes) {
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
