#include "avcodec_hevc.h"

#include "avcodec_library.h"
#include "decoded_planes.h"

#include <memory>
#include <mutex>

namespace velquist {
namespace {

// Only objects the loaded library made are ever deleted, so it is there.
struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { Avcodec()->freeContext(&ctx); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { Avcodec()->frameFree(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { Avcodec()->packetFree(&packet); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// More idle contexts than threads that decode at once are never needed; the cap keeps a
// burst of threads from leaving their frame buffers behind.
constexpr size_t kMaxIdleContexts = 8;

CodecContextPtr OpenContext() {
    const AvcodecLibrary* av = Avcodec();
    const AVCodec* codec = av != nullptr ? av->findDecoder(AV_CODEC_ID_HEVC) : nullptr;
    if (codec == nullptr) {
        return nullptr;
    }
    CodecContextPtr ctx(av->allocContext(codec));
    if (!ctx) {
        return nullptr;
    }
    ctx->thread_count = 1;
    ctx->thread_type = 0;
    // Cropping here would round the left and top offsets to the frame alignment; the
    // planes are cropped exactly when they are copied.
    ctx->apply_cropping = 0;
    // A damaged tile must fail rather than come out concealed, so that libde265 gets it.
    ctx->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM;
    if (av->open(ctx.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    return ctx;
}

class ContextPool {
  public:
    CodecContextPtr Acquire() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                CodecContextPtr ctx = std::move(idle_.back());
                idle_.pop_back();
                return ctx;
            }
        }
        return OpenContext();
    }

    void Release(CodecContextPtr ctx) {
        Avcodec()->flushBuffers(ctx.get());
        std::lock_guard<std::mutex> lock(mutex_);
        if (idle_.size() < kMaxIdleContexts) {
            idle_.push_back(std::move(ctx));
        }
    }

  private:
    std::mutex mutex_;
    std::vector<CodecContextPtr> idle_;
};

ContextPool& Pool() {
    static ContextPool pool;
    return pool;
}

// The first picture of the stream; the decoder is drained so that a picture held back for
// reordering comes out too.
FramePtr DecodeFrame(AVCodecContext* ctx, const std::vector<uint8_t>& stream) {
    const AvcodecLibrary* av = Avcodec();
    PacketPtr packet(av->packetAlloc());
    FramePtr frame(av->frameAlloc());
    if (!packet || !frame) {
        return nullptr;
    }
    // The packet borrows the stream; libavcodec copies what it keeps.
    packet->data = const_cast<uint8_t*>(stream.data());
    packet->size = static_cast<int>(stream.size());
    if (av->sendPacket(ctx, packet.get()) < 0 || av->sendPacket(ctx, nullptr) < 0) {
        return nullptr;
    }
    if (av->receiveFrame(ctx, frame.get()) < 0) {
        return nullptr;
    }
    if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
        return nullptr;
    }
    return frame;
}

ColourDescription ColourOf(const AVFrame& frame) {
    ColourDescription colour;
    colour.primaries = frame.color_primaries;
    colour.transfer = frame.color_trc;
    colour.matrix = frame.colorspace;
    colour.fullRange = frame.color_range == AVCOL_RANGE_JPEG;
    return colour;
}

// The cropped planes of a planar, little-endian frame of up to 16 bits per sample.
bool Describe(const AVFrame& frame, DecodedPicture* picture) {
    const AVPixFmtDescriptor* desc =
        Avcodec()->pixFmtDescriptor(static_cast<AVPixelFormat>(frame.format));
    if (desc == nullptr ||
        (desc->flags & (AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                        AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_ALPHA)) != 0) {
        return false;
    }
    if ((desc->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 && desc->nb_components != 1) {
        return false;
    }
    const int count = desc->nb_components;
    const int depth = desc->comp[0].depth;
    if ((count != 1 && count != 3) || depth < 8 || depth > 16) {
        return false;
    }
    const int shiftX = desc->log2_chroma_w;
    const int shiftY = desc->log2_chroma_h;
    const int width = frame.width - static_cast<int>(frame.crop_left + frame.crop_right);
    const int height = frame.height - static_cast<int>(frame.crop_top + frame.crop_bottom);
    if (width <= 0 || height <= 0) {
        return false;
    }
    picture->planeCount = count;
    picture->chroma = ChromaOf(count, shiftX, shiftY);
    for (int i = 0; i < count; ++i) {
        // Planes hold Y, Cb, Cr in this order, also for GBR output, where they hold G, B, R.
        if (desc->comp[i].depth != depth) {
            return false;
        }
        const int sx = i == 0 ? 0 : shiftX;
        const int sy = i == 0 ? 0 : shiftY;
        const size_t bytes = depth > 8 ? 2 : 1;
        DecodedPlane& plane = picture->planes[i];
        plane.stride = frame.linesize[i];
        plane.data = frame.data[i] + static_cast<size_t>(frame.crop_top >> sy) * plane.stride +
                     static_cast<size_t>(frame.crop_left >> sx) * bytes;
        plane.width = (width + (1 << sx) - 1) >> sx;
        plane.height = (height + (1 << sy) - 1) >> sy;
        plane.bitDepth = depth;
        if (frame.data[i] == nullptr || plane.stride <= 0) {
            return false;
        }
    }
    picture->colour = ColourOf(frame);
    return picture->chroma != heif_chroma_undefined;
}

} // namespace

bool DecodeWithAvcodec(const std::vector<NalUnit>& units, heif_image** out) {
    *out = nullptr;
    const std::vector<uint8_t> stream = ToAnnexB(units);
    if (stream.empty() || stream.size() > static_cast<size_t>(INT32_MAX)) {
        return false;
    }
    CodecContextPtr ctx = Pool().Acquire();
    if (!ctx) {
        return false;
    }
    FramePtr frame = DecodeFrame(ctx.get(), stream);
    DecodedPicture picture;
    const bool ok =
        frame && Describe(*frame, &picture) && ToHeifImage(picture, out).code == heif_error_Ok;
    frame.reset();
    // A context that failed may hold state from the broken stream: it is not reused.
    if (ok) {
        Pool().Release(std::move(ctx));
    }
    return ok;
}

} // namespace velquist
