#include "decode/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// More channels than any real file carries; a hostile header asking for
// thousands would otherwise size every block by it.
constexpr int kMaxChannels = 64;
// The largest single allocation FFmpeg may make; decoding audio needs a few
// megabytes at most (a FLAC frame of 65,535 samples in 8 channels is 2 MB).
constexpr std::size_t kMaxAllocation = 128u << 20;
// A block gathers decoded frames until it holds at least this many.
constexpr int kBlockFrames = 8192;
// A file that keeps failing to decode is given up after this many damaged
// packets in a row.
constexpr int kMaxDamagedInARow = 256;

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool IsIntegerFormat(AVSampleFormat format) {
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S64: return true;
    default: return false;
    }
}

// What a resampler was made for: the input sample format, rate and channel layout.
struct TResampler {
    SwrContext* Context = nullptr;
    int Format = -1;
    int Rate = 0;
    AVChannelLayout Layout{};

    ~TResampler() {
        swr_free(&Context);
        av_channel_layout_uninit(&Layout);
    }
    bool Fits(const AVFrame& frame) const {
        return Context != nullptr && Format == frame.format && Rate == frame.sample_rate &&
               av_channel_layout_compare(&Layout, &frame.ch_layout) == 0;
    }
};

}  // namespace

struct TAudioDecoder::TState {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    TResampler Resampler;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    int StreamIndex = -1;
    AVSampleFormat OutFormat = AV_SAMPLE_FMT_FLTP;
    TStreamInfo Info;
    std::string Error;
    int Damaged = 0;
    int DamagedInARow = 0;
    bool InputEnded = false;   // the demuxer has no more packets; the decoder was flushed
    bool Finished = false;     // the decoder has given its last frame

    ~TState() {
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        avformat_close_input(&Format);
    }
    bool Fail(const std::string& reason) {
        Error = "Cannot decode: " + reason;
        return false;
    }
};

TAudioDecoder::TAudioDecoder() : State(std::make_unique<TState>()) {}
TAudioDecoder::~TAudioDecoder() = default;

const TStreamInfo& TAudioDecoder::Info() const { return State->Info; }
const std::string& TAudioDecoder::Error() const { return State->Error; }
int TAudioDecoder::DamagedPackets() const { return State->Damaged; }

bool TAudioDecoder::Open(const std::string& path) {
    State = std::make_unique<TState>();
    TState& s = *State;
    // FFmpeg's own messages would go to standard error; errors come back as
    // codes. And no single allocation of FFmpeg's may exceed kMaxAllocation:
    // a damaged header can ask for gigabytes (a WAV data chunk of 1.5 GB in a
    // file of 82 bytes made the demuxer allocate that much).
    static std::once_flag settings;
    std::call_once(settings, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_max_alloc(kMaxAllocation);
    });
    int rc = avformat_open_input(&s.Format, path.c_str(), nullptr, nullptr);
    if (rc < 0) return s.Fail(AvErrorText(rc));
    rc = avformat_find_stream_info(s.Format, nullptr);
    if (rc < 0) return s.Fail(AvErrorText(rc));
    const AVCodec* decoder = nullptr;
    s.StreamIndex = av_find_best_stream(s.Format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (s.StreamIndex == AVERROR_STREAM_NOT_FOUND) return s.Fail("no audio stream");
    if (s.StreamIndex < 0 || decoder == nullptr) {
        const AVStream* stream = s.StreamIndex >= 0 ? s.Format->streams[s.StreamIndex] : nullptr;
        const char* name = stream ? avcodec_get_name(stream->codecpar->codec_id) : "unknown";
        return s.Fail(std::string("no decoder for ") + name);
    }
    const AVStream* stream = s.Format->streams[s.StreamIndex];
    for (unsigned i = 0; i < s.Format->nb_streams; ++i)
        if (static_cast<int>(i) != s.StreamIndex) s.Format->streams[i]->discard = AVDISCARD_ALL;
    s.Codec = avcodec_alloc_context3(decoder);
    if (s.Codec == nullptr) return s.Fail("out of memory");
    rc = avcodec_parameters_to_context(s.Codec, stream->codecpar);
    if (rc < 0) return s.Fail(AvErrorText(rc));
    rc = avcodec_open2(s.Codec, decoder, nullptr);
    if (rc < 0) return s.Fail(AvErrorText(rc));
    const int channels = s.Codec->ch_layout.nb_channels;
    if (channels <= 0 || channels > kMaxChannels) return s.Fail("unsupported channel count");
    if (s.Codec->sample_rate <= 0) return s.Fail("no sample rate");

    TStreamInfo& info = s.Info;
    info.CodecName = decoder->name;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(s.Codec->codec_id);
    info.Lossless = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0;
    info.SampleRate = s.Codec->sample_rate;
    info.Channels = channels;
    info.IntegerSamples = IsIntegerFormat(s.Codec->sample_fmt);
    if (info.IntegerSamples) {
        const int containerBits = av_get_bytes_per_sample(s.Codec->sample_fmt) * 8;
        const int rawBits = s.Codec->bits_per_raw_sample;
        info.BitsPerSample = rawBits > 0 && rawBits <= containerBits ? rawBits : containerBits;
        info.BitsPerSample = std::min(info.BitsPerSample, 32);
    }
    s.OutFormat = info.IntegerSamples ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_FLTP;
    if (stream->duration > 0 && stream->time_base.den > 0)
        info.Duration = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    else if (s.Format->duration > 0)
        info.Duration = static_cast<double>(s.Format->duration) / AV_TIME_BASE;

    s.Packet = av_packet_alloc();
    s.Frame = av_frame_alloc();
    if (s.Packet == nullptr || s.Frame == nullptr) return s.Fail("out of memory");
    return true;
}

namespace {

// Appends the samples of frame to block, converted by resampler (created on
// the first frame and again whenever the frame's format changes).
bool AppendFrame(TResampler& resampler, AVSampleFormat outFormat, const AVFrame& frame, TPcmBlock& block,
                 std::string& error) {
    const int channels = frame.ch_layout.nb_channels;
    if (channels != block.Channels) {
        error = "Cannot decode: the channel count changes within the stream";
        return false;
    }
    int rc = 0;
    if (!resampler.Fits(frame)) {
        swr_free(&resampler.Context);
        av_channel_layout_uninit(&resampler.Layout);
        // FFmpeg 5.1 declares the layouts non-const but only reads them.
        AVChannelLayout* layout = const_cast<AVChannelLayout*>(&frame.ch_layout);
        rc = swr_alloc_set_opts2(&resampler.Context, layout, outFormat, frame.sample_rate, layout,
                                 static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        if (rc >= 0) rc = swr_init(resampler.Context);
        if (rc >= 0) rc = av_channel_layout_copy(&resampler.Layout, &frame.ch_layout);
        if (rc < 0) {
            swr_free(&resampler.Context);
            error = "Cannot decode: " + AvErrorText(rc);
            return false;
        }
        resampler.Format = frame.format;
        resampler.Rate = frame.sample_rate;
    }
    const std::size_t start = block.Frames;
    const std::size_t count = static_cast<std::size_t>(frame.nb_samples);
    const bool integer = outFormat == AV_SAMPLE_FMT_S32P;
    std::vector<uint8_t*> planes(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        auto& floats = block.Samples[static_cast<std::size_t>(c)];
        floats.resize(start + count);
        if (integer) {
            auto& ints = block.IntSamples[static_cast<std::size_t>(c)];
            ints.resize(start + count);
            planes[static_cast<std::size_t>(c)] = reinterpret_cast<uint8_t*>(ints.data() + start);
        } else {
            planes[static_cast<std::size_t>(c)] = reinterpret_cast<uint8_t*>(floats.data() + start);
        }
    }
    const int converted = swr_convert(resampler.Context, planes.data(), frame.nb_samples,
                                      const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    if (converted < 0) {
        error = "Cannot decode: " + AvErrorText(converted);
        return false;
    }
    const std::size_t got = static_cast<std::size_t>(converted);
    for (int c = 0; c < channels; ++c) {
        auto& floats = block.Samples[static_cast<std::size_t>(c)];
        floats.resize(start + got);
        if (!integer) {
            // A float stream may carry values outside [-1, 1] and NaN; the checks cope with both.
            continue;
        }
        auto& ints = block.IntSamples[static_cast<std::size_t>(c)];
        ints.resize(start + got);
        for (std::size_t i = start; i < start + got; ++i) floats[i] = static_cast<float>(ints[i]) * (1.0f / 2147483648.0f);
    }
    block.Frames = start + got;
    return true;
}

}  // namespace

bool TAudioDecoder::Read(TPcmBlock& block) {
    TState& s = *State;
    block.Channels = s.Info.Channels;
    block.Frames = 0;
    block.Samples.assign(static_cast<std::size_t>(s.Info.Channels), {});
    block.IntSamples.assign(s.Info.IntegerSamples ? static_cast<std::size_t>(s.Info.Channels) : 0, {});
    if (s.Codec == nullptr || !s.Error.empty()) return false;

    while (!s.Finished && block.Frames < static_cast<std::size_t>(kBlockFrames)) {
        int rc = avcodec_receive_frame(s.Codec, s.Frame);
        if (rc == 0) {
            const bool ok = s.Frame->nb_samples <= 0 ||
                            AppendFrame(s.Resampler, s.OutFormat, *s.Frame, block, s.Error);
            av_frame_unref(s.Frame);
            if (!ok) return false;
            continue;
        }
        if (rc == AVERROR_INVALIDDATA && ++s.DamagedInARow <= kMaxDamagedInARow) {
            ++s.Damaged;
            continue;
        }
        if (rc == AVERROR_EOF) {
            s.Finished = true;
            break;
        }
        if (rc != AVERROR(EAGAIN)) {
            s.Error = "Cannot decode: " + AvErrorText(rc);
            return false;
        }
        if (s.InputEnded) {   // a decoder that wants input after the flush: nothing more will come
            s.Finished = true;
            break;
        }
        rc = av_read_frame(s.Format, s.Packet);
        if (rc < 0) {
            // The end of the file, or a read fault: either way no more packets; flush the decoder.
            s.InputEnded = true;
            avcodec_send_packet(s.Codec, nullptr);
            continue;
        }
        if (s.Packet->stream_index == s.StreamIndex) {
            rc = avcodec_send_packet(s.Codec, s.Packet);
            if (rc < 0 && rc != AVERROR(EAGAIN)) {
                ++s.Damaged;
                if (++s.DamagedInARow > kMaxDamagedInARow) {
                    av_packet_unref(s.Packet);
                    s.Error = "Cannot decode: " + AvErrorText(rc);
                    return false;
                }
            } else {
                s.DamagedInARow = 0;
            }
        }
        av_packet_unref(s.Packet);
    }
    return block.Frames > 0;
}
