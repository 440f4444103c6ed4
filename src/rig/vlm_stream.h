// Velmora rig library: the binary character-definition stream.
//
// A character is stored and exchanged as one flat stream of 32-bit words:
//
//   offset         bytes     field
//   0              4         magic 0x24022789
//   4              4         version 1
//   8              688       the 172 definition words
//   696            120 n     one VLMJointGeometry per used node (word bit 0),
//                            in ascending node id order
//   696 + 120 n    16        VLMBoneInversion: left leg, right leg, left arm,
//                            right arm
//
// 712 + 120 n bytes in all. Every word (integers and floats alike) is either in
// the writer's native order (little endian on x86-64) or byte-reversed; the
// stream carries no flag, the reader tells the order from the magic. Buffers
// may lie at any address: words are moved through memcpy.
//
// A stream round-trips what VLMReadJointGeometries reads: the rest pose of
// every used node, and the rotation definition and parent-offset rotation of
// the nodes whose word has bits 0, 1 and 2 (zeros for the others).
//
// The reader and writer do not switch the floating-point control word
// themselves; the character operations they call do.
#ifndef VLM_STREAM_H
#define VLM_STREAM_H

#include "rig/vlm_base.h"
#include "rig/vlm_joint.h"

#include <cstdint>

constexpr std::uint32_t VLM_BLOB_MAGIC = 0x24022789u;
constexpr std::uint32_t VLM_BLOB_MAGIC_SWAPPED = 0x89270224u;  // the magic read in the other order
constexpr std::uint32_t VLM_BLOB_VERSION = 1u;

struct VLMCharacterBlobHeader {
    std::uint32_t magic;
    std::uint32_t version;
};

constexpr std::uint64_t VLM_BLOB_HEADER_BYTES = sizeof(VLMCharacterBlobHeader);      // 8
constexpr std::uint64_t VLM_BLOB_DEFINITION_BYTES = sizeof(VLMCharacterDefinition);  // 688
constexpr std::uint64_t VLM_BLOB_RECORD_BYTES = sizeof(VLMJointGeometry);            // 120
constexpr std::uint64_t VLM_BLOB_TRAILER_BYTES = sizeof(VLMBoneInversion);           // 16
static_assert(VLM_BLOB_HEADER_BYTES == 8 && VLM_BLOB_DEFINITION_BYTES == 688 && VLM_BLOB_RECORD_BYTES == 120 &&
                  VLM_BLOB_TRAILER_BYTES == 16,
              "stream field sizes");

// Writes the stream of a character and its definition words, byte-reversed
// when swap is true, into a buffer from the allocation callback, which the
// caller owns from then on (release it with the matching free callback), and
// stores its byte count in *size. Null when an argument is null or the
// callback fails; *size is then left alone. Temporary memory goes back
// through the free callback before the call returns.
VLM_API void* VLMWriteCharacterBlob(std::uint64_t* size, const VLMCharacterDefinition* words,
                                    const VLMCharacter* character, bool swap, VLMAllocCallback allocate,
                                    VLMFreeCallback release);

// Reads a stream in either byte order, copies its definition words (native
// order) into *words, creates a character from them through the allocation
// callback and applies the records (rest pose, rotation definitions, parent
// offsets, characterization, inverted limbs). The character is released with
// VLMDestroyCharacter. Null for a null argument, a stream shorter than its
// definition says, an unknown magic, a version other than 1, a rotation order
// above 12, a float that is not finite (see VLMReadCharacterBlobChecked, which
// also tells the rotations it brings to unit length), or a failed allocation; *words is filled once the records have
// been read, even when the character then cannot be created. Bytes after the
// stream's own length are ignored. The caller's data is never changed.
VLM_API VLMCharacter* VLMReadCharacterBlob(VLMCharacterDefinition* words, const void* data, std::uint64_t size,
                                           VLMAllocCallback allocate, VLMFreeCallback release);

// Why a stream was refused because of one of its records.
enum VLMBlobRecordFault : std::int32_t {
    VLM_BLOB_RECORD_OK = 0,
    VLM_BLOB_RECORD_NOT_FINITE = 1,      // a float of the record is a NaN or an infinity
    VLM_BLOB_RECORD_ROTATION_ORDER = 2,  // a rotation order above 12
};

struct VLMBlobFault {
    std::int32_t node;   // the node id of the record at fault; -1 when none is
    std::int32_t fault;  // VLMBlobRecordFault
};

// VLMReadCharacterBlob, telling in *fault (when not null) which record, if
// any, made it refuse the stream.
//
// Both readers refuse a record holding a float that is not finite, and bring
// each of its four rotations (rest, pre-, post- and parent-offset rotation)
// to unit length when its squared length is more than 1e-5 away from 1: the
// character would otherwise keep a scaled rotation, and each write and read
// would scale the pre- and post-rotations again. A rotation written unit to
// the float's precision is left as it is, bit for bit, and so is a zero one.
VLM_API VLMCharacter* VLMReadCharacterBlobChecked(VLMCharacterDefinition* words, const void* data, std::uint64_t size,
                                                  VLMAllocCallback allocate, VLMFreeCallback release,
                                                  VLMBlobFault* fault);

// --- Helpers -------------------------------------------------------------------

// Words with bit 0 set: the number of records in the stream.
VLM_API std::uint32_t VLMCountUsedDefinitionWords(const VLMCharacterDefinition* words);
// The stream after its 8-byte header: 704 + 120 n bytes.
VLM_API std::uint64_t VLMCharacterBlobBodySize(const VLMCharacterDefinition* words);

VLM_API std::uint32_t VLMByteSwap32(std::uint32_t word);
// Reverses the bytes of each whole 32-bit word in place; bytes is a multiple of 4.
VLM_API void VLMByteSwapWords(void* data, std::uint64_t bytes);

// Copies between native records and stream bytes at any address, reversing
// the bytes of every word when swap is true; each returns the bytes it moved.
VLM_API std::uint64_t VLMBlobPutHeader(void* stream, const VLMCharacterBlobHeader* header, bool swap);
VLM_API std::uint64_t VLMBlobGetHeader(VLMCharacterBlobHeader* header, const void* stream, bool swap);
VLM_API std::uint64_t VLMBlobPutDefinition(void* stream, const VLMCharacterDefinition* words, bool swap);
VLM_API std::uint64_t VLMBlobGetDefinition(VLMCharacterDefinition* words, const void* stream, bool swap);
VLM_API std::uint64_t VLMBlobPutJointGeometry(void* stream, const VLMJointGeometry* record, bool swap);
VLM_API std::uint64_t VLMBlobGetJointGeometry(VLMJointGeometry* record, const void* stream, bool swap);
VLM_API std::uint64_t VLMBlobPutBoneInversion(void* stream, const VLMBoneInversion* inversion, bool swap);
VLM_API std::uint64_t VLMBlobGetBoneInversion(VLMBoneInversion* inversion, const void* stream, bool swap);

#endif
