#include "heif_header.h"

#include "util/handles.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace velquist {
namespace {

// This reader runs in the engine's own process, before any worker sees the file, so its
// work must stay bounded whatever the file claims. Past any of these limits the file is no
// photo: a burst or a grid of a few hundred images stays far below them. A meta box larger
// than kMaxMetaBytes is not loaded at all.
constexpr std::uint64_t kMaxMetaBytes = 16u << 20;
constexpr std::size_t kMaxItems = 1u << 16;
constexpr std::size_t kMaxReferences = 1u << 20;
constexpr std::size_t kMaxProperties = 1u << 15; // what an association can index
constexpr std::size_t kMaxAssociations = 1u << 20;
// Boxes before the meta box: a HEIF file puts it right after ftyp.
constexpr int kMaxTopLevelBoxes = 1024;

// A bounds-checked reader over one box's payload. Every read past the end yields zero and
// marks the reader failed, so a truncated box never reads foreign memory.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t Left() const { return size_ - pos_; }
    const std::uint8_t* Here() const { return data_ + pos_; }

    std::uint64_t Read(int bytes) {
        if (bytes < 0 || static_cast<std::size_t>(bytes) > Left()) {
            ok_ = false;
            pos_ = size_;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = value << 8 | data_[pos_++];
        }
        return value;
    }
    void Skip(std::size_t bytes) {
        if (bytes > Left()) {
            ok_ = false;
            pos_ = size_;
            return;
        }
        pos_ += bytes;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

struct Box {
    std::uint32_t type = 0;
    Bytes payload{nullptr, 0};
};

constexpr std::uint32_t FourCc(const char (&text)[5]) {
    return static_cast<std::uint32_t>(text[0]) << 24 | static_cast<std::uint32_t>(text[1]) << 16 |
           static_cast<std::uint32_t>(text[2]) << 8 | static_cast<std::uint32_t>(text[3]);
}

// The next child box inside parent; nothing at the end or on a malformed size.
std::optional<Box> NextBox(Bytes& parent) {
    if (parent.Left() < 8) {
        return std::nullopt;
    }
    std::uint64_t size = parent.Read(4);
    const auto type = static_cast<std::uint32_t>(parent.Read(4));
    std::uint64_t header = 8;
    if (size == 1) {
        size = parent.Read(8);
        header = 16;
    } else if (size == 0) {
        size = parent.Left() + header;
    }
    if (!parent.ok() || size < header || size - header > parent.Left()) {
        return std::nullopt;
    }
    Box box{type, Bytes(parent.Here(), static_cast<std::size_t>(size - header))};
    parent.Skip(static_cast<std::size_t>(size - header));
    return box;
}

struct Meta {
    std::uint32_t primary = 0;
    std::map<std::uint32_t, std::uint32_t> itemTypes;
    std::map<std::uint32_t, bool> hidden; // by item, from the infe flags
    // reference type -> from item -> to items
    std::map<std::uint32_t, std::map<std::uint32_t, std::vector<std::uint32_t>>> refs;
    std::vector<Box> properties; // ipco children, index 0 is property 1
    std::map<std::uint32_t, std::vector<int>> associations;
    std::vector<std::uint8_t> idat;
    struct Location {
        int method = 0;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    std::map<std::uint32_t, Location> locations; // first extent of each item
    // Items another item is the auxiliary image (alpha, depth) of: indexed once, so that
    // asking it for each image costs no walk over every reference.
    std::set<std::uint32_t> withAuxiliary;
    std::size_t referenceCount = 0;
    std::size_t associationCount = 0;
    bool withinLimits = true; // false once the file went past a limit: it is not read
};

void ReadPitm(Bytes b, Meta& meta) {
    const int version = static_cast<int>(b.Read(1));
    b.Skip(3);
    meta.primary = static_cast<std::uint32_t>(b.Read(version == 0 ? 2 : 4));
}

void ReadIinf(Bytes b, Meta& meta) {
    const int version = static_cast<int>(b.Read(1));
    b.Skip(3);
    b.Skip(version == 0 ? 2 : 4);
    while (auto infe = NextBox(b)) {
        if (infe->type != FourCc("infe")) {
            continue;
        }
        Bytes e = infe->payload;
        const int v = static_cast<int>(e.Read(1));
        const auto flags = e.Read(3);
        if (v < 2) {
            continue;
        }
        const auto id = static_cast<std::uint32_t>(e.Read(v == 2 ? 2 : 4));
        e.Skip(2);
        const auto type = static_cast<std::uint32_t>(e.Read(4));
        if (e.ok()) {
            meta.itemTypes[id] = type;
            meta.hidden[id] = (flags & 1) != 0;
        }
        if (meta.itemTypes.size() > kMaxItems) {
            meta.withinLimits = false;
            return;
        }
    }
}

void ReadIref(Bytes b, Meta& meta) {
    const int version = static_cast<int>(b.Read(1));
    b.Skip(3);
    const int idBytes = version == 0 ? 2 : 4;
    while (auto ref = NextBox(b)) {
        Bytes r = ref->payload;
        const auto from = static_cast<std::uint32_t>(r.Read(idBytes));
        const auto count = r.Read(2);
        // An empty reference box counts too: each one costs a map entry.
        meta.referenceCount += 1 + count;
        if (meta.referenceCount > kMaxReferences) {
            meta.withinLimits = false;
            return;
        }
        auto& targets = meta.refs[ref->type][from];
        for (std::uint64_t i = 0; i < count && r.ok(); ++i) {
            const auto to = static_cast<std::uint32_t>(r.Read(idBytes));
            targets.push_back(to);
            if (ref->type == FourCc("auxl")) {
                meta.withAuxiliary.insert(to);
            }
        }
    }
}

void ReadIloc(Bytes b, Meta& meta) {
    const int version = static_cast<int>(b.Read(1));
    b.Skip(3);
    const auto sizes = b.Read(2);
    const int offsetSize = static_cast<int>(sizes >> 12 & 0xF);
    const int lengthSize = static_cast<int>(sizes >> 8 & 0xF);
    const int baseSize = static_cast<int>(sizes >> 4 & 0xF);
    const int indexSize = version == 1 || version == 2 ? static_cast<int>(sizes & 0xF) : 0;
    const auto count = b.Read(version < 2 ? 2 : 4);
    for (std::uint64_t i = 0; i < count && b.ok(); ++i) {
        Meta::Location location;
        const auto id = static_cast<std::uint32_t>(b.Read(version < 2 ? 2 : 4));
        if (version == 1 || version == 2) {
            location.method = static_cast<int>(b.Read(2) & 0xF);
        }
        b.Skip(2);
        const std::uint64_t base = b.Read(baseSize);
        const auto extents = b.Read(2);
        if (extents > 0) {
            b.Read(indexSize);
            location.offset = base + b.Read(offsetSize);
            location.length = b.Read(lengthSize);
            // The other extents are stepped over at once: with fields of zero bytes a walk
            // through them would read nothing and could be made to last.
            b.Skip(static_cast<std::size_t>(extents - 1) *
                   static_cast<std::size_t>(indexSize + offsetSize + lengthSize));
        }
        if (b.ok()) {
            meta.locations[id] = location;
        }
        if (meta.locations.size() > kMaxItems) {
            meta.withinLimits = false;
            return;
        }
    }
}

void ReadIprp(Bytes b, Meta& meta) {
    while (auto child = NextBox(b)) {
        if (child->type == FourCc("ipco")) {
            while (auto property = NextBox(child->payload)) {
                meta.properties.push_back(*property);
                if (meta.properties.size() > kMaxProperties) {
                    meta.withinLimits = false;
                    return;
                }
            }
            continue;
        }
        if (child->type != FourCc("ipma")) {
            continue;
        }
        Bytes m = child->payload;
        const int version = static_cast<int>(m.Read(1));
        const auto flags = m.Read(3);
        const auto count = m.Read(4);
        for (std::uint64_t i = 0; i < count && m.ok(); ++i) {
            const auto id = static_cast<std::uint32_t>(m.Read(version < 1 ? 2 : 4));
            const auto n = m.Read(1);
            meta.associationCount += n;
            if (meta.associationCount > kMaxAssociations) {
                meta.withinLimits = false;
                return;
            }
            for (std::uint64_t k = 0; k < n && m.ok(); ++k) {
                const auto value = (flags & 1) != 0 ? m.Read(2) & 0x7FFF : m.Read(1) & 0x7F;
                meta.associations[id].push_back(static_cast<int>(value));
            }
        }
    }
}

Meta ReadMeta(Bytes b) {
    Meta meta;
    b.Skip(4);
    while (meta.withinLimits) {
        const std::optional<Box> box = NextBox(b);
        if (!box) {
            break;
        }
        if (box->type == FourCc("pitm")) {
            ReadPitm(box->payload, meta);
        } else if (box->type == FourCc("iinf")) {
            ReadIinf(box->payload, meta);
        } else if (box->type == FourCc("iref")) {
            ReadIref(box->payload, meta);
        } else if (box->type == FourCc("iloc")) {
            ReadIloc(box->payload, meta);
        } else if (box->type == FourCc("iprp")) {
            ReadIprp(box->payload, meta);
        } else if (box->type == FourCc("idat")) {
            meta.idat.assign(box->payload.Here(), box->payload.Here() + box->payload.Left());
        }
    }
    return meta;
}

// The item's property of the given type, if any.
std::optional<Bytes> Property(const Meta& meta, std::uint32_t item, std::uint32_t type) {
    const auto found = meta.associations.find(item);
    if (found == meta.associations.end()) {
        return std::nullopt;
    }
    for (const int index : found->second) {
        if (index >= 1 && static_cast<std::size_t>(index) <= meta.properties.size() &&
            meta.properties[static_cast<std::size_t>(index - 1)].type == type) {
            return meta.properties[static_cast<std::size_t>(index - 1)].payload;
        }
    }
    return std::nullopt;
}

bool ReadIspe(const Meta& meta, std::uint32_t item, std::uint32_t* width, std::uint32_t* height) {
    std::optional<Bytes> ispe = Property(meta, item, FourCc("ispe"));
    if (!ispe) {
        return false;
    }
    ispe->Skip(4);
    *width = static_cast<std::uint32_t>(ispe->Read(4));
    *height = static_cast<std::uint32_t>(ispe->Read(4));
    return ispe->ok();
}

int BitDepth(const Meta& meta, std::uint32_t item) {
    std::optional<Bytes> pixi = Property(meta, item, FourCc("pixi"));
    if (!pixi) {
        return 8;
    }
    pixi->Skip(4);
    const auto channels = pixi->Read(1);
    int depth = 8;
    for (std::uint64_t i = 0; i < channels && pixi->ok(); ++i) {
        depth = std::max(depth, static_cast<int>(pixi->Read(1)));
    }
    return depth;
}

bool HasAuxiliaryImage(const Meta& meta, std::uint32_t item) {
    return meta.withAuxiliary.count(item) != 0;
}

// An item's bytes, from idat or from the file; empty when missing, empty, or longer than
// maxLength (the reader never allocates what a forged length claims).
std::vector<std::uint8_t> ItemBytes(const Meta& meta, std::uint32_t item, FILE* file,
                                    std::uint64_t maxLength) {
    const auto found = meta.locations.find(item);
    if (found == meta.locations.end() || found->second.length == 0 ||
        found->second.length > maxLength) {
        return {};
    }
    const Meta::Location& at = found->second;
    if (at.method == 1) {
        if (at.offset > meta.idat.size() || at.length > meta.idat.size() - at.offset) {
            return {};
        }
        return {meta.idat.begin() + static_cast<std::ptrdiff_t>(at.offset),
                meta.idat.begin() + static_cast<std::ptrdiff_t>(at.offset + at.length)};
    }
    if (at.method != 0 || at.offset > static_cast<std::uint64_t>(INT64_MAX) ||
        fseeko(file, static_cast<off_t>(at.offset), SEEK_SET) != 0) {
        return {};
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(at.length));
    data.resize(std::fread(data.data(), 1, data.size(), file));
    return data;
}

// The ImageGrid structure of a grid item (a few bytes).
std::vector<std::uint8_t> GridData(const Meta& meta, std::uint32_t item, FILE* file) {
    return ItemBytes(meta, item, file, 64);
}

void ReadGrid(const Meta& meta, FILE* file, HeifHeader& header) {
    const std::vector<std::uint8_t> data = GridData(meta, meta.primary, file);
    Bytes grid(data.data(), data.size());
    grid.Skip(1);
    const auto flags = grid.Read(1);
    header.gridRows = static_cast<int>(grid.Read(1)) + 1;
    header.gridColumns = static_cast<int>(grid.Read(1)) + 1;
    const int sizeBytes = (flags & 1) != 0 ? 4 : 2;
    const auto width = static_cast<std::uint32_t>(grid.Read(sizeBytes));
    const auto height = static_cast<std::uint32_t>(grid.Read(sizeBytes));
    if (grid.ok()) {
        header.width = width;
        header.height = height;
    }
    const auto dimg = meta.refs.find(FourCc("dimg"));
    if (dimg == meta.refs.end()) {
        return;
    }
    const auto tiles = dimg->second.find(meta.primary);
    if (tiles == dimg->second.end() || tiles->second.empty()) {
        return;
    }
    header.tileCount = static_cast<int>(tiles->second.size());
    ReadIspe(meta, tiles->second.front(), &header.tileWidth, &header.tileHeight);
}

constexpr std::uint32_t kImageTypes[] = {
    FourCc("hvc1"), FourCc("av01"), FourCc("grid"), FourCc("iden"), FourCc("iovl"),
    FourCc("jpeg"), FourCc("vvc1"), FourCc("avc1"), FourCc("j2k1"), FourCc("unci"),
};

bool IsImageType(std::uint32_t type) {
    for (const std::uint32_t image : kImageTypes) {
        if (type == image) {
            return true;
        }
    }
    return false;
}

// Items that stand for another image (its thumbnail, its alpha or depth plane).
std::set<std::uint32_t> DependentImages(const Meta& meta) {
    std::set<std::uint32_t> dependent;
    for (const std::uint32_t type : {FourCc("thmb"), FourCc("auxl")}) {
        const auto refs = meta.refs.find(type);
        if (refs == meta.refs.end()) {
            continue;
        }
        for (const auto& from : refs->second) {
            dependent.insert(from.first);
        }
    }
    return dependent;
}

// A grid's output size as its ImageGrid structure gives it.
bool GridSize(const Meta& meta, std::uint32_t item, FILE* file, std::uint32_t* width,
              std::uint32_t* height) {
    const std::vector<std::uint8_t> data = GridData(meta, item, file);
    Bytes grid(data.data(), data.size());
    grid.Skip(1);
    const int sizeBytes = (grid.Read(1) & 1) != 0 ? 4 : 2;
    grid.Skip(2);
    *width = static_cast<std::uint32_t>(grid.Read(sizeBytes));
    *height = static_cast<std::uint32_t>(grid.Read(sizeBytes));
    return grid.ok();
}

// Counts the top-level images and keeps their largest claims. Only the first
// kMaxClaimedImages have their grids read from the file: no more are ever written.
void ReadTopLevelImages(const Meta& meta, FILE* file, HeifHeader& header) {
    constexpr int kMaxClaimedImages = 256;
    const std::set<std::uint32_t> dependent = DependentImages(meta);
    for (const auto& [id, type] : meta.itemTypes) {
        const auto hidden = meta.hidden.find(id);
        if (!IsImageType(type) || dependent.count(id) != 0 ||
            (hidden != meta.hidden.end() && hidden->second)) {
            continue;
        }
        ++header.imageCount;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        ReadIspe(meta, id, &width, &height);
        std::uint64_t pixels = std::uint64_t{width} * height;
        if (type == FourCc("grid") && header.imageCount <= kMaxClaimedImages &&
            GridSize(meta, id, file, &width, &height)) {
            pixels = std::max(pixels, std::uint64_t{width} * height);
        }
        header.largestPixels = std::max(header.largestPixels, pixels);
        header.largestBitDepth = std::max(header.largestBitDepth, BitDepth(meta, id));
        header.anyAlpha = header.anyAlpha || HasAuxiliaryImage(meta, id);
    }
}

struct TopLevelBox {
    std::uint32_t type = 0;
    std::uint64_t payloadStart = 0;
    std::uint64_t end = 0; // always beyond the box's start, never beyond the file's end
};

// The box starting at `at`; nothing when its header is cut short or its size does not fit
// between its header and the end of the file.
std::optional<TopLevelBox> ReadBoxHead(FILE* file, std::uint64_t at, std::uint64_t fileSize) {
    std::uint8_t head[16];
    if (fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0 || std::fread(head, 1, 8, file) != 8) {
        return std::nullopt;
    }
    std::uint64_t size = Bytes(head, 4).Read(4);
    const auto type = static_cast<std::uint32_t>(Bytes(head + 4, 4).Read(4));
    std::uint64_t header = 8;
    if (size == 1) {
        if (std::fread(head + 8, 1, 8, file) != 8) {
            return std::nullopt;
        }
        size = Bytes(head + 8, 8).Read(8);
        header = 16;
    } else if (size == 0) {
        size = fileSize - at; // the last box: it runs to the end of the file
    }
    if (size < header || size > fileSize - at) {
        return std::nullopt;
    }
    return TopLevelBox{type, at + header, at + size};
}

// The payload of the top-level meta box, read into memory; empty when there is none. The
// walk only goes forward, and only through a regular file's bytes.
std::vector<std::uint8_t> ReadMetaBox(FILE* file) {
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return {};
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < kMaxTopLevelBoxes && at < fileSize; ++boxes) {
        const std::optional<TopLevelBox> box = ReadBoxHead(file, at, fileSize);
        if (!box) {
            return {};
        }
        if (box->type == FourCc("meta")) {
            const std::uint64_t size = box->end - box->payloadStart;
            if (size > kMaxMetaBytes) {
                return {};
            }
            std::vector<std::uint8_t> payload(static_cast<std::size_t>(size));
            if (std::fread(payload.data(), 1, payload.size(), file) != payload.size()) {
                return {};
            }
            return payload;
        }
        at = box->end;
    }
    return {};
}

// Opens path for the reader when it is a regular file. Opening does not wait on a named
// pipe or a device that a list of photos may hold by mistake or by design.
FilePtr OpenRegularFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    FilePtr file(::fdopen(fd.Get(), "rb"));
    if (file) {
        fd.Release();
    }
    return file;
}

// The Exif item describing the primary image (its "cdsc" reference), or any Exif item
// when none refers to the primary; 0 when there is none.
std::uint32_t ExifItem(const Meta& meta) {
    std::uint32_t any = 0;
    for (const auto& [id, type] : meta.itemTypes) {
        if (type != FourCc("Exif")) {
            continue;
        }
        if (any == 0) {
            any = id;
        }
        const auto cdsc = meta.refs.find(FourCc("cdsc"));
        if (cdsc == meta.refs.end()) {
            continue;
        }
        const auto targets = cdsc->second.find(id);
        if (targets != cdsc->second.end() &&
            std::find(targets->second.begin(), targets->second.end(), meta.primary) !=
                targets->second.end()) {
            return id;
        }
    }
    return any;
}

std::string ItemData(const Meta& meta, std::uint32_t item, FILE* file) {
    const std::vector<std::uint8_t> data = ItemBytes(meta, item, file, kMaxExifItemBytes);
    return {data.begin(), data.end()};
}

} // namespace

std::string ReadHeifExifItem(const std::string& path) {
    const FilePtr file = OpenRegularFile(path);
    if (!file) {
        return {};
    }
    const std::vector<std::uint8_t> payload = ReadMetaBox(file.get());
    if (payload.empty()) {
        return {};
    }
    const Meta meta = ReadMeta(Bytes(payload.data(), payload.size()));
    if (!meta.withinLimits) {
        return {};
    }
    const std::uint32_t item = ExifItem(meta);
    return item == 0 ? std::string() : ItemData(meta, item, file.get());
}

HeifHeader ReadHeifHeader(const std::string& path) {
    HeifHeader header;
    const FilePtr file = OpenRegularFile(path);
    if (!file) {
        return header;
    }
    const std::vector<std::uint8_t> payload = ReadMetaBox(file.get());
    if (payload.empty()) {
        return header;
    }
    const Meta meta = ReadMeta(Bytes(payload.data(), payload.size()));
    const auto type = meta.itemTypes.find(meta.primary);
    if (!meta.withinLimits || type == meta.itemTypes.end()) {
        return header;
    }
    header.parsed = true;
    header.bitDepth = BitDepth(meta, meta.primary);
    header.hasAlpha = HasAuxiliaryImage(meta, meta.primary);
    ReadIspe(meta, meta.primary, &header.width, &header.height);
    if (type->second == FourCc("grid")) {
        header.isGrid = true;
        ReadGrid(meta, file.get(), header);
    }
    ReadTopLevelImages(meta, file.get(), header);
    return header;
}

std::string GridProblem(const HeifHeader& header) {
    if (!header.isGrid) {
        return {};
    }
    const std::uint64_t coveredWidth = std::uint64_t{header.tileWidth} * header.gridColumns;
    const std::uint64_t coveredHeight = std::uint64_t{header.tileHeight} * header.gridRows;
    if (header.tileCount != header.gridRows * header.gridColumns || coveredWidth < header.width ||
        coveredHeight < header.height) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "Malformed grid image: %d tiles of %ux%u in %dx%d cannot fill %ux%u",
                      header.tileCount, header.tileWidth, header.tileHeight, header.gridColumns,
                      header.gridRows, header.width, header.height);
        return text;
    }
    return {};
}

} // namespace velquist
