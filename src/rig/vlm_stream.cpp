#include "rig/vlm_stream.h"

#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"

#include <cmath>
#include <cstring>

namespace {

// Moves whole 32-bit words between buffers at any address, reversing the
// bytes of each when swap is set.
std::uint64_t copyWords(void* destination, const void* source, std::uint64_t bytes, bool swap)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    if (!swap) {
        std::memcpy(out, in, bytes);
        return bytes;
    }
    for (std::uint64_t i = 0; i + 4 <= bytes; i += 4) {
        std::uint32_t word;
        std::memcpy(&word, in + i, 4);
        word = __builtin_bswap32(word);
        std::memcpy(out + i, &word, 4);
    }
    return bytes;
}

// The working state of one read or write: the definition, the packed record
// array (taken from the caller's callbacks, null when there are no used
// nodes) and the inversion flags. The record array goes back to the free
// callback on every way out.
class BlobWork {
public:
    BlobWork(VLMAllocCallback allocate, VLMFreeCallback release) : allocate_(allocate), release_(release) { }
    ~BlobWork()
    {
        if (records)
            release_(records);
    }
    BlobWork(const BlobWork&) = delete;
    BlobWork& operator=(const BlobWork&) = delete;

    // Zeroed room for n records. No request at all for n = 0: a callback may
    // well answer null to a request of 0 bytes.
    bool takeRecords(std::uint32_t n)
    {
        if (n == 0)
            return true;
        void* raw = allocate_(VLM_BLOB_RECORD_BYTES * n);
        if (!raw)
            return false;
        std::memset(raw, 0, VLM_BLOB_RECORD_BYTES * n);
        records = static_cast<VLMJointGeometry*>(raw);
        return true;
    }

    VLMCharacterDefinition words = {};
    std::uint32_t used = 0;
    VLMJointGeometry* records = nullptr;
    VLMBoneInversion inversion = {};

private:
    VLMAllocCallback allocate_;
    VLMFreeCallback release_;
};

// Every float of a record, rest pose, limits and rotations alike.
bool isFiniteRecord(const VLMJointGeometry& r)
{
    const float* groups[] = {r.translate, r.rotateQ, r.scale,     r.preRotQ,
                             r.postRotQ,  r.maxRLimit, r.minRLimit, r.parentOffsetRotateQ};
    const int counts[] = {3, 4, 3, 4, 4, 3, 3, 4};
    for (int g = 0; g < 8; ++g) {
        for (int i = 0; i < counts[g]; ++i) {
            if (!std::isfinite(groups[g][i]))
                return false;
        }
    }
    return true;
}

// A rotation further from unit length than float rounding explains is
// brought to it; one within that (every rotation the writer takes from a
// character), or one of length 0, keeps its bits.
void bringToUnitLength(float q[4])
{
    const double squared =
        double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] + double(q[3]) * q[3];
    if (squared == 0.0 || std::fabs(squared - 1.0) <= 1e-5)
        return;
    const double length = std::sqrt(squared);
    for (int i = 0; i < 4; ++i)
        q[i] = float(double(q[i]) / length);
}

std::uint64_t streamSize(std::uint32_t used)
{
    return VLM_BLOB_HEADER_BYTES + VLM_BLOB_DEFINITION_BYTES + VLM_BLOB_RECORD_BYTES * used + VLM_BLOB_TRAILER_BYTES;
}

}  // namespace

// --- Helpers -------------------------------------------------------------------

std::uint32_t VLMCountUsedDefinitionWords(const VLMCharacterDefinition* words)
{
    std::uint32_t n = 0;
    for (std::uint32_t word : words->words)
        n += word & VLM_DEF_USED;
    return n;
}

std::uint64_t VLMCharacterBlobBodySize(const VLMCharacterDefinition* words)
{
    return streamSize(VLMCountUsedDefinitionWords(words)) - VLM_BLOB_HEADER_BYTES;
}

std::uint32_t VLMByteSwap32(std::uint32_t word) { return __builtin_bswap32(word); }

void VLMByteSwapWords(void* data, std::uint64_t bytes) { copyWords(data, data, bytes & ~std::uint64_t(3), true); }

std::uint64_t VLMBlobPutHeader(void* stream, const VLMCharacterBlobHeader* header, bool swap)
{
    return copyWords(stream, header, VLM_BLOB_HEADER_BYTES, swap);
}

std::uint64_t VLMBlobGetHeader(VLMCharacterBlobHeader* header, const void* stream, bool swap)
{
    return copyWords(header, stream, VLM_BLOB_HEADER_BYTES, swap);
}

std::uint64_t VLMBlobPutDefinition(void* stream, const VLMCharacterDefinition* words, bool swap)
{
    return copyWords(stream, words, VLM_BLOB_DEFINITION_BYTES, swap);
}

std::uint64_t VLMBlobGetDefinition(VLMCharacterDefinition* words, const void* stream, bool swap)
{
    return copyWords(words, stream, VLM_BLOB_DEFINITION_BYTES, swap);
}

std::uint64_t VLMBlobPutJointGeometry(void* stream, const VLMJointGeometry* record, bool swap)
{
    return copyWords(stream, record, VLM_BLOB_RECORD_BYTES, swap);
}

std::uint64_t VLMBlobGetJointGeometry(VLMJointGeometry* record, const void* stream, bool swap)
{
    return copyWords(record, stream, VLM_BLOB_RECORD_BYTES, swap);
}

std::uint64_t VLMBlobPutBoneInversion(void* stream, const VLMBoneInversion* inversion, bool swap)
{
    return copyWords(stream, inversion, VLM_BLOB_TRAILER_BYTES, swap);
}

std::uint64_t VLMBlobGetBoneInversion(VLMBoneInversion* inversion, const void* stream, bool swap)
{
    return copyWords(inversion, stream, VLM_BLOB_TRAILER_BYTES, swap);
}

// --- Writer and reader -----------------------------------------------------------

void* VLMWriteCharacterBlob(std::uint64_t* size, const VLMCharacterDefinition* words, const VLMCharacter* character,
                            bool swap, VLMAllocCallback allocate, VLMFreeCallback release)
{
    if (!size || !words || !character || !allocate || !release)
        return nullptr;
    BlobWork work(allocate, release);
    work.words = *words;
    work.used = VLMCountUsedDefinitionWords(&work.words);
    if (!work.takeRecords(work.used))
        return nullptr;
    VLMReadJointGeometries(&work.words, character, work.records, int(work.used), &work.inversion);

    const std::uint64_t total = streamSize(work.used);
    unsigned char* buffer = static_cast<unsigned char*>(allocate(total));
    if (!buffer)
        return nullptr;
    const VLMCharacterBlobHeader header = {VLM_BLOB_MAGIC, VLM_BLOB_VERSION};
    unsigned char* at = buffer;
    at += VLMBlobPutHeader(at, &header, swap);
    at += VLMBlobPutDefinition(at, &work.words, swap);
    for (std::uint32_t i = 0; i < work.used; ++i)
        at += VLMBlobPutJointGeometry(at, &work.records[i], swap);
    VLMBlobPutBoneInversion(at, &work.inversion, swap);
    *size = total;
    return buffer;
}

VLMCharacter* VLMReadCharacterBlob(VLMCharacterDefinition* words, const void* data, std::uint64_t size,
                                   VLMAllocCallback allocate, VLMFreeCallback release)
{
    return VLMReadCharacterBlobChecked(words, data, size, allocate, release, nullptr);
}

VLMCharacter* VLMReadCharacterBlobChecked(VLMCharacterDefinition* words, const void* data, std::uint64_t size,
                                          VLMAllocCallback allocate, VLMFreeCallback release, VLMBlobFault* fault)
{
    if (fault)
        *fault = VLMBlobFault{-1, VLM_BLOB_RECORD_OK};
    if (!words || !data || !allocate || !release || size < VLM_BLOB_HEADER_BYTES)
        return nullptr;
    const unsigned char* at = static_cast<const unsigned char*>(data);

    // The magic read natively tells the byte order.
    std::uint32_t magic;
    std::memcpy(&magic, at, sizeof magic);
    bool swap;
    if (magic == VLM_BLOB_MAGIC)
        swap = false;
    else if (magic == VLM_BLOB_MAGIC_SWAPPED)
        swap = true;
    else
        return nullptr;
    VLMCharacterBlobHeader header;
    at += VLMBlobGetHeader(&header, at, swap);
    if (header.version != VLM_BLOB_VERSION)
        return nullptr;

    const std::uint64_t rest = size - VLM_BLOB_HEADER_BYTES;
    if (rest < VLM_BLOB_DEFINITION_BYTES)
        return nullptr;
    BlobWork work(allocate, release);
    at += VLMBlobGetDefinition(&work.words, at, swap);
    work.used = VLMCountUsedDefinitionWords(&work.words);
    if (VLM_BLOB_RECORD_BYTES * work.used + VLM_BLOB_TRAILER_BYTES > rest - VLM_BLOB_DEFINITION_BYTES)
        return nullptr;

    if (!work.takeRecords(work.used))
        return nullptr;
    for (std::uint32_t i = 0, node = 0; i < work.used; ++i, ++node) {
        while (!(work.words.words[node] & VLM_DEF_USED))
            ++node;
        VLMJointGeometry& record = work.records[i];
        at += VLMBlobGetJointGeometry(&record, at, swap);
        // Rotation orders index fixed tables further on: 0..12 only. A NaN or
        // an infinity would spread through every pose of the character.
        const std::int32_t problem = record.rotationOrder >= std::uint32_t(VLM_ROTATION_ORDER_COUNT)
                                         ? VLM_BLOB_RECORD_ROTATION_ORDER
                                         : !isFiniteRecord(record) ? VLM_BLOB_RECORD_NOT_FINITE : VLM_BLOB_RECORD_OK;
        if (problem != VLM_BLOB_RECORD_OK) {
            if (fault)
                *fault = VLMBlobFault{std::int32_t(node), problem};
            return nullptr;
        }
        bringToUnitLength(record.rotateQ);
        bringToUnitLength(record.preRotQ);
        bringToUnitLength(record.postRotQ);
        bringToUnitLength(record.parentOffsetRotateQ);
    }
    VLMBlobGetBoneInversion(&work.inversion, at, swap);

    *words = work.words;
    VLMCharacter* character = VLMCreateCharacter(&work.words, allocate);
    if (!character)
        return nullptr;
    VLMApplyJointGeometries(&work.words, character, work.records, int(work.used), &work.inversion);
    return character;
}
