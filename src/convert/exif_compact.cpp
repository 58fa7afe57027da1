#include "exif_compact.h"

#include "tiff_directory.h"

#include <algorithm>
#include <array>
#include <optional>

namespace velquist {
namespace {

using namespace tiff;

// The directories a compact block keeps, in the order they are laid out.
enum Dir { kIfd0, kExif, kGps, kInterop, kDirCount };

struct Field {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::vector<uint8_t> value; // as stored, in the block's byte order
    bool dropped = false;
};

struct Model {
    bool little = true;
    std::array<std::vector<Field>, kDirCount> dirs;
    std::array<bool, kDirCount> present{};
    bool thumbnail = false;
    size_t valueBytes = 0; // out-of-line bytes read so far
};

// Which directory a pointer tag leads to from the directory holding it; kDirCount when
// the tag is no pointer or does not belong there.
Dir PointerTarget(Dir from, uint16_t tag) {
    if (from == kIfd0 && tag == kExifIfdTag) {
        return kExif;
    }
    if (from == kIfd0 && tag == kGpsIfdTag) {
        return kGps;
    }
    if (from == kExif && tag == kInteropIfdTag) {
        return kInterop;
    }
    return kDirCount;
}

bool IsPointerTag(uint16_t tag) {
    return tag == kExifIfdTag || tag == kGpsIfdTag || tag == kInteropIfdTag;
}

// Offsets into data this rewrite does not carry would point at the wrong bytes.
bool LocatesOtherData(const Entry& e) {
    return e.type == kTypeIfd || e.tag == kStripOffsetsTag || e.tag == kStripByteCountsTag ||
           e.tag == kJpegThumbnailOffsetTag || e.tag == kJpegThumbnailLengthTag ||
           e.tag == 0x014A; // SubIFDs
}

// The field with its value copied out; none when the value cannot be read. Values that
// overlap (never so in a real block) could otherwise multiply the output without end.
std::optional<Field> ReadField(const TiffView& view, const Entry& e, Model& model) {
    const uint64_t length = uint64_t{TypeSize(e.type)} * e.count;
    if (length == 0) {
        return std::nullopt;
    }
    Field field{e.tag, e.type, e.count, {}, false};
    const uint8_t* from = view.Data() + e.at + 8;
    if (length > 4) {
        if (!view.Fits(e.value, length) || model.valueBytes + length > view.Size()) {
            return std::nullopt;
        }
        model.valueBytes += length;
        from = view.Data() + e.value;
    }
    field.value.assign(from, from + length);
    return field;
}

void ReadFields(const TiffView& view, const Directory& dir, Dir which, Model& model,
                std::array<uint32_t, kDirCount>& targets) {
    for (const Entry& e : dir.entries) {
        const Dir target = PointerTarget(which, e.tag);
        if (target != kDirCount && e.count == 1 && (e.type == kTypeLong || e.type == kTypeIfd)) {
            targets[target] = e.value;
            continue;
        }
        if (IsPointerTag(e.tag) || LocatesOtherData(e)) {
            continue;
        }
        if (std::optional<Field> field = ReadField(view, e, model)) {
            model.dirs[which].push_back(std::move(*field));
        }
    }
}

std::optional<Model> Parse(const std::vector<uint8_t>& data) {
    if (!IsTiffHeader(data)) {
        return std::nullopt;
    }
    const TiffView view(data);
    uint32_t offset = 0;
    view.Read32(4, &offset);
    const std::optional<Directory> ifd0 = ReadDirectory(view, offset);
    if (!ifd0) {
        return std::nullopt;
    }
    Model model;
    model.little = view.Little();
    model.thumbnail = ifd0->next != 0;
    std::array<uint32_t, kDirCount> targets{};
    ReadFields(view, *ifd0, kIfd0, model, targets);
    model.present[kIfd0] = true;
    // The Exif directory comes before Interop, which only it points to.
    for (const Dir which : {kExif, kGps, kInterop}) {
        const std::optional<Directory> dir =
            targets[which] != 0 ? ReadDirectory(view, targets[which]) : std::nullopt;
        if (dir) {
            ReadFields(view, *dir, which, model, targets);
            model.present[which] = true;
        }
    }
    return model;
}

size_t Aligned(size_t n) {
    return (n + 1) & ~size_t{1};
}

class Writer {
  public:
    explicit Writer(bool little) : little_(little) {}

    void Put16(uint16_t v) {
        const uint8_t lo = static_cast<uint8_t>(v);
        const uint8_t hi = static_cast<uint8_t>(v >> 8);
        out_.insert(out_.end(), little_ ? std::initializer_list<uint8_t>{lo, hi}
                                        : std::initializer_list<uint8_t>{hi, lo});
    }
    void Put32(uint32_t v) {
        Put16(static_cast<uint16_t>(little_ ? v : v >> 16));
        Put16(static_cast<uint16_t>(little_ ? v >> 16 : v));
    }
    void PutBytes(const std::vector<uint8_t>& bytes, size_t paddedTo) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
        out_.resize(out_.size() + paddedTo - bytes.size(), 0);
    }
    size_t Size() const { return out_.size(); }
    std::vector<uint8_t> Take() { return std::move(out_); }

  private:
    bool little_;
    std::vector<uint8_t> out_;
};

// A pointer field as the layout needs it; its value is filled in once offsets are known.
Field PointerField(uint16_t tag) {
    return Field{tag, kTypeLong, 1, std::vector<uint8_t>(4, 0), false};
}

using Fields = std::vector<const Field*>;

size_t DirectorySize(const Fields& fields) {
    size_t size = 2 + fields.size() * kEntrySize + 4;
    for (const Field* f : fields) {
        size += f->value.size() > 4 ? Aligned(f->value.size()) : 0;
    }
    return size;
}

void WriteDirectory(Writer& out, const Fields& fields) {
    size_t valueAt = out.Size() + 2 + fields.size() * kEntrySize + 4;
    out.Put16(static_cast<uint16_t>(fields.size()));
    for (const Field* f : fields) {
        out.Put16(f->tag);
        out.Put16(f->type);
        out.Put32(f->count);
        if (f->value.size() <= 4) {
            out.PutBytes(f->value, 4);
            continue;
        }
        out.Put32(static_cast<uint32_t>(valueAt));
        valueAt += Aligned(f->value.size());
    }
    out.Put32(0); // no IFD1: the thumbnail is never carried over
    for (const Field* f : fields) {
        if (f->value.size() > 4) {
            out.PutBytes(f->value, Aligned(f->value.size()));
        }
    }
}

void SetPointer(Field& field, bool little, uint32_t offset) {
    Writer value(little);
    value.Put32(offset);
    field.value = value.Take();
}

// The kept fields of each directory in tag order, with the pointers to the kept
// directories (owned by pointers) among them.
std::array<Fields, kDirCount> KeptFields(const Model& model,
                                         std::array<Field, kDirCount>& pointers) {
    std::array<Fields, kDirCount> kept;
    for (int d = 0; d < kDirCount; ++d) {
        for (const Field& f : model.dirs[d]) {
            if (!f.dropped) {
                kept[d].push_back(&f);
            }
        }
    }
    const std::array<std::pair<Dir, Dir>, 3> links = {
        std::pair{kIfd0, kExif}, {kIfd0, kGps}, {kExif, kInterop}};
    const uint16_t tags[kDirCount] = {0, kExifIfdTag, kGpsIfdTag, kInteropIfdTag};
    for (const auto& [from, to] : links) {
        if (model.present[from] && model.present[to]) {
            pointers[to] = PointerField(tags[to]);
            kept[from].push_back(&pointers[to]);
        }
    }
    for (Fields& fields : kept) {
        std::stable_sort(fields.begin(), fields.end(),
                         [](const Field* a, const Field* b) { return a->tag < b->tag; });
    }
    return kept;
}

std::vector<uint8_t> Serialize(const Model& model) {
    std::array<Field, kDirCount> pointers;
    const std::array<Fields, kDirCount> kept = KeptFields(model, pointers);
    size_t offset = 8;
    for (int d = 0; d < kDirCount; ++d) {
        if (model.present[d]) {
            SetPointer(pointers[d], model.little, static_cast<uint32_t>(offset));
            offset += DirectorySize(kept[d]);
        }
    }
    Writer out(model.little);
    out.PutBytes(model.little ? std::vector<uint8_t>{'I', 'I', 42, 0}
                              : std::vector<uint8_t>{'M', 'M', 0, 42},
                 4);
    out.Put32(8);
    for (int d = 0; d < kDirCount; ++d) {
        if (model.present[d]) {
            WriteDirectory(out, kept[d]);
        }
    }
    return out.Take();
}

bool DropTag(Model& model, uint16_t tag) {
    bool dropped = false;
    for (std::vector<Field>& dir : model.dirs) {
        for (Field& f : dir) {
            if (f.tag == tag && !f.dropped) {
                f.dropped = dropped = true;
            }
        }
    }
    return dropped;
}

// Drops large UNDEFINED values, largest first, until the block would fit; returns how
// many went. Each one takes its entry and its padded value out of the block.
size_t DropLargeValues(Model& model, size_t size, size_t limit) {
    std::vector<Field*> candidates;
    for (std::vector<Field>& dir : model.dirs) {
        for (Field& f : dir) {
            if (!f.dropped && f.type == kTypeUndefined && f.value.size() > 4) {
                candidates.push_back(&f);
            }
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Field* a, const Field* b) {
        return a->value.size() > b->value.size();
    });
    size_t count = 0;
    for (Field* f : candidates) {
        if (size <= limit) {
            break;
        }
        f->dropped = true;
        size -= kEntrySize + Aligned(f->value.size());
        ++count;
    }
    return count;
}

} // namespace

namespace {

constexpr uint16_t kPixelXDimensionTag = 0xA002;
constexpr uint16_t kPixelYDimensionTag = 0xA003;

// Replaces the field (whatever its type) by a LONG, or adds it.
void SetLong(std::vector<Field>& fields, bool little, uint16_t tag, uint32_t value) {
    Writer bytes(little);
    bytes.Put32(value);
    for (Field& f : fields) {
        if (f.tag == tag && !f.dropped) {
            f.type = kTypeLong;
            f.count = 1;
            f.value = bytes.Take();
            return;
        }
    }
    fields.push_back(Field{tag, kTypeLong, 1, bytes.Take(), false});
}

} // namespace

std::vector<uint8_t> ResizedExif(const std::vector<uint8_t>& tiff, uint32_t width,
                                 uint32_t height) {
    std::optional<Model> model = Parse(tiff);
    if (!model) {
        return {};
    }
    // Without an Exif directory there is no size to correct.
    if (model->present[kExif]) {
        SetLong(model->dirs[kExif], model->little, kPixelXDimensionTag, width);
        SetLong(model->dirs[kExif], model->little, kPixelYDimensionTag, height);
    }
    return Serialize(*model);
}

ExifFit FitExif(const std::vector<uint8_t>& tiff, size_t limit) {
    ExifFit fit;
    std::optional<Model> model = Parse(tiff);
    if (!model) {
        return fit;
    }
    fit.droppedThumbnail = model->thumbnail;
    std::vector<uint8_t> out = Serialize(*model);
    if (out.size() > limit && DropTag(*model, kMakerNoteTag)) {
        fit.droppedMakerNote = true;
        out = Serialize(*model);
    }
    if (out.size() > limit) {
        fit.droppedOthers = DropLargeValues(*model, out.size(), limit);
        out = Serialize(*model);
    }
    if (out.size() <= limit) {
        fit.tiff = std::move(out);
    }
    return fit;
}

std::string DroppedExifParts(const ExifFit& fit) {
    std::vector<std::string> parts;
    if (fit.droppedThumbnail) {
        parts.emplace_back("the embedded thumbnail");
    }
    if (fit.droppedMakerNote) {
        parts.emplace_back(fit.droppedThumbnail ? "maker note" : "the maker note");
    }
    if (fit.droppedOthers > 0) {
        parts.push_back(std::to_string(fit.droppedOthers) +
                        (fit.droppedOthers == 1 ? " other large value" : " other large values"));
    }
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == parts.size() ? " and " : ", ");
        text += parts[i];
    }
    return text;
}

} // namespace velquist
