#include "jpeg_encoder.h"

#include "atomic_output_file.h"
#include "exif_block.h"
#include "exif_compact.h"
#include "flatten_alpha.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <jerror.h>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace velquist {
namespace {

// The largest payload a JPEG marker segment can carry.
constexpr size_t kMaxMarkerPayload = 65533;

struct JpegPlane {
    const uint8_t* data = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
    int shift = 0; // bits to drop to reach 8 bits per sample
};

struct JpegJob {
    FILE* stream = nullptr;
    JpegPlane planes[3];
    int quality = kDefaultQuality;
    bool rawPlanes = true;
    RgbaRows rgba; // set for a photo with transparency: RGB input composited over white
    const uint8_t* exif = nullptr;
    size_t exifSize = 0;
    const uint8_t* icc = nullptr;
    size_t iccSize = 0;
    Diagnostics* diag = nullptr;
};

struct JpegErrorState {
    jpeg_error_mgr manager; // first, so the libjpeg pointer converts back
    std::jmp_buf jump;
    Diagnostics* diag;
};

void ReportJpegMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    reinterpret_cast<JpegErrorState*>(cinfo->err)->diag->Printf("%s\n", text);
}

[[noreturn]] void JumpOnJpegError(j_common_ptr cinfo) {
    // libjpeg stops right after the failed fwrite; its errno says why.
    const int error = errno;
    if (cinfo->err->msg_code == JERR_FILE_WRITE) {
        reinterpret_cast<JpegErrorState*>(cinfo->err)->diag->NoteSystemError(error);
    }
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegErrorState*>(cinfo->err)->jump, 1);
}

inline JSAMPLE Sample(const JpegPlane& plane, int x, int y) {
    if (plane.shift == 0) {
        return plane.data[static_cast<size_t>(y) * plane.stride + x];
    }
    uint16_t value = 0;
    std::memcpy(&value,
                plane.data + static_cast<size_t>(y) * plane.stride + 2 * static_cast<size_t>(x), 2);
    const unsigned rounded = (value + (1u << (plane.shift - 1))) >> plane.shift;
    return static_cast<JSAMPLE>(std::min(rounded, 255u));
}

// One component row padded to the width libjpeg reads, the edge sample repeated so the
// padding does not bleed into the visible pixels. Points into the plane when it can.
JSAMPROW PrepareRow(const JpegPlane& plane, int y, JSAMPROW scratch, JDIMENSION paddedWidth) {
    y = std::min(y, plane.height - 1);
    if (plane.shift == 0 && static_cast<JDIMENSION>(plane.width) == paddedWidth) {
        return const_cast<JSAMPROW>(plane.data + static_cast<size_t>(y) * plane.stride);
    }
    if (plane.shift == 0) {
        std::memcpy(scratch, plane.data + static_cast<size_t>(y) * plane.stride, plane.width);
    } else {
        for (int x = 0; x < plane.width; ++x) {
            scratch[x] = Sample(plane, x, y);
        }
    }
    std::fill(scratch + plane.width, scratch + paddedWidth, scratch[plane.width - 1]);
    return scratch;
}

void WriteRawPlanes(j_compress_ptr cinfo, const JpegJob& job) {
    const int groupRows = cinfo->max_v_samp_factor * DCTSIZE;
    JSAMPROW rows[3][2 * DCTSIZE];
    JSAMPARRAY scratch[3];
    JDIMENSION padded[3];
    int rowsPerGroup[3];
    for (int c = 0; c < 3; ++c) {
        padded[c] = cinfo->comp_info[c].width_in_blocks * DCTSIZE;
        rowsPerGroup[c] = cinfo->comp_info[c].v_samp_factor * DCTSIZE;
        scratch[c] = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 padded[c], rowsPerGroup[c]);
    }
    JSAMPARRAY groups[3] = {rows[0], rows[1], rows[2]};
    for (int group = 0; cinfo->next_scanline < cinfo->image_height; ++group) {
        for (int c = 0; c < 3; ++c) {
            for (int r = 0; r < rowsPerGroup[c]; ++r) {
                rows[c][r] = PrepareRow(job.planes[c], group * rowsPerGroup[c] + r, scratch[c][r],
                                        padded[c]);
            }
        }
        jpeg_write_raw_data(cinfo, groups, groupRows);
    }
}

void WriteScanlines(j_compress_ptr cinfo, const JpegJob& job) {
    const JpegPlane& luma = job.planes[0];
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 cinfo->image_width * 3, 1);
    while (cinfo->next_scanline < cinfo->image_height) {
        const int y = static_cast<int>(cinfo->next_scanline);
        JSAMPROW out = row[0];
        for (int x = 0; x < luma.width; ++x) {
            out[3 * x] = Sample(luma, x, y);
            out[3 * x + 1] = Sample(job.planes[1], x / 2, y / 2);
            out[3 * x + 2] = Sample(job.planes[2], x / 2, y / 2);
        }
        jpeg_write_scanlines(cinfo, row, 1);
    }
}

void WriteFlattenedScanlines(j_compress_ptr cinfo, const JpegJob& job) {
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 cinfo->image_width * 3, 1);
    while (cinfo->next_scanline < cinfo->image_height) {
        FlattenRowOverWhite(job.rgba, static_cast<int>(cinfo->next_scanline), row[0], 3);
        jpeg_write_scanlines(cinfo, row, 1);
    }
}

void SetParameters(j_compress_ptr cinfo, const JpegJob& job) {
    const bool flatten = job.rgba.data != nullptr;
    cinfo->image_width = static_cast<JDIMENSION>(flatten ? job.rgba.width : job.planes[0].width);
    cinfo->image_height = static_cast<JDIMENSION>(flatten ? job.rgba.height : job.planes[0].height);
    cinfo->input_components = 3;
    cinfo->in_color_space = flatten ? JCS_RGB : JCS_YCbCr;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job.quality, TRUE);
    cinfo->comp_info[0].h_samp_factor = 2;
    cinfo->comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    cinfo->raw_data_in = job.rawPlanes && !flatten ? TRUE : FALSE;
}

// Holds the libjpeg error jump; nothing with a destructor lives in this frame.
bool Compress(const JpegJob& job) {
    jpeg_compress_struct cinfo;
    JpegErrorState error;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpOnJpegError;
    error.manager.output_message = ReportJpegMessage;
    error.diag = job.diag;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, job.stream);
    SetParameters(&cinfo, job);
    jpeg_start_compress(&cinfo, TRUE);
    if (job.exifSize > 0) {
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, job.exif, static_cast<unsigned>(job.exifSize));
    }
    if (job.iccSize > 0) {
        jpeg_write_icc_profile(&cinfo, job.icc, static_cast<unsigned>(job.iccSize));
    }
    if (job.rgba.data != nullptr) {
        WriteFlattenedScanlines(&cinfo, job);
    } else if (job.rawPlanes) {
        WriteRawPlanes(&cinfo, job);
    } else {
        WriteScanlines(&cinfo, job);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool FillPlane(const heif_image* image, heif_channel channel, JpegPlane* plane) {
    plane->data = heif_image_get_plane_readonly(image, channel, &plane->stride);
    plane->width = heif_image_get_width(image, channel);
    plane->height = heif_image_get_height(image, channel);
    const int bits = heif_image_get_bits_per_pixel_range(image, channel);
    if (plane->data == nullptr || plane->width <= 0 || plane->height <= 0 || bits < 8 ||
        bits > 16) {
        return false;
    }
    plane->shift = bits - 8;
    return true;
}

constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

// A block too large for one segment is rewritten without the parts viewers miss least
// (the thumbnail first), so that the capture time and the camera still travel.
bool FitOneSegment(std::vector<uint8_t>& tiff, Diagnostics& diag) {
    const size_t limit = kMaxMarkerPayload - sizeof kExifHeader;
    if (tiff.size() <= limit) {
        return true;
    }
    ExifFit fit = FitExif(tiff, limit);
    if (fit.tiff.empty()) {
        diag.Printf("Exif block of %zu bytes does not fit one APP1 segment, left out\n",
                    tiff.size() + sizeof kExifHeader);
        return false;
    }
    const std::string dropped = DroppedExifParts(fit);
    if (!dropped.empty()) {
        diag.Printf("Exif block too large for JPEG: dropped %s\n", dropped.c_str());
    }
    tiff = std::move(fit.tiff);
    return true;
}

std::vector<uint8_t> App1Payload(std::vector<uint8_t> tiff, Diagnostics& diag) {
    if (tiff.empty() || !FitOneSegment(tiff, diag)) {
        return {};
    }
    std::vector<uint8_t> payload(std::begin(kExifHeader), std::end(kExifHeader));
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

std::vector<uint8_t> IccProfile(const heif_image_handle* handle) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0) {
        return {};
    }
    std::vector<uint8_t> profile(size);
    if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok) {
        return {};
    }
    return profile;
}

} // namespace

JpegEncoder::JpegEncoder(int quality, bool keepExif, Feed feed)
    : quality_(quality >= 0 && quality <= 100 ? quality : kDefaultQuality), keepExif_(keepExif),
      feed_(feed) {}

// A photo with transparency is composited in RGB, where white is white whatever the
// source's matrix; every other photo goes straight from its 4:2:0 planes.
heif_colorspace JpegEncoder::PreferredColorspace(bool hasAlpha) const {
    return hasAlpha ? heif_colorspace_RGB : heif_colorspace_YCbCr;
}

heif_chroma JpegEncoder::PreferredChroma(bool hasAlpha, int bitDepth) const {
    if (!hasAlpha) {
        return heif_chroma_420;
    }
    return bitDepth > 8 ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA;
}

namespace {

bool FillPixels(const heif_image_handle* handle, const heif_image* image, JpegJob* job) {
    if (GetRgbaRows(handle, image, &job->rgba)) {
        return true;
    }
    job->rgba = RgbaRows();
    return FillPlane(image, heif_channel_Y, &job->planes[0]) &&
           FillPlane(image, heif_channel_Cb, &job->planes[1]) &&
           FillPlane(image, heif_channel_Cr, &job->planes[2]);
}

} // namespace

bool JpegEncoder::WriteImage(const heif_image_handle* handle, const heif_image* image,
                             const std::string& path, Diagnostics& diag) {
    JpegJob job;
    if (!FillPixels(handle, image, &job)) {
        diag.Write("JPEG writer needs a planar YCbCr image of 8 to 16 bits\n");
        return false;
    }
    const std::vector<uint8_t> exif =
        keepExif_ ? App1Payload(OutputExif(handle, image, diag), diag) : std::vector<uint8_t>();
    const std::vector<uint8_t> icc = IccProfile(handle);
    AtomicOutputFile file;
    if (!file.Open(path, diag)) {
        return false;
    }
    job.stream = file.Stream();
    job.quality = quality_;
    job.rawPlanes = feed_ == Feed::kRawPlanes;
    job.exif = exif.data();
    job.exifSize = exif.size();
    job.icc = icc.data();
    job.iccSize = icc.size();
    job.diag = &diag;
    if (!Compress(job)) {
        return false;
    }
    return file.Commit(diag);
}

} // namespace velquist
