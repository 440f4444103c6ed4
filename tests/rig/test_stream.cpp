#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_stream.h"

#include "rig_sample.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using sample::CharacterPtr;

struct Buffer {
    std::vector<unsigned char> bytes;
    std::uint32_t word(std::size_t i) const
    {
        std::uint32_t w;
        std::memcpy(&w, bytes.data() + 4 * i, 4);
        return w;
    }
    void setWord(std::size_t i, std::uint32_t w) { std::memcpy(bytes.data() + 4 * i, &w, 4); }
};

// Writes a stream and hands it back as a vector (the callback's buffer freed).
Buffer Write(const VLMCharacterDefinition& def, const VLMCharacter* c, bool swap)
{
    std::uint64_t size = 0;
    void* data = VLMWriteCharacterBlob(&size, &def, c, swap, &TestAllocator::allocate, &TestAllocator::release);
    EXPECT_NE(data, nullptr);
    Buffer b;
    if (data) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        b.bytes.assign(p, p + size);
        TestAllocator::release(data);
    }
    return b;
}

// Allocation counts from here on, without disturbing the counts of the
// characters that already exist.
struct AllocWatch {
    long live0 = TestAllocator::live;
    std::size_t requests0 = TestAllocator::requests.size();
    long leaked() const { return TestAllocator::live - live0; }
    std::size_t requests() const { return TestAllocator::requests.size() - requests0; }
    std::uint64_t request(std::size_t i) const { return TestAllocator::requests[requests0 + i]; }
    void failRequest(int k) { TestAllocator::failAt = int(requests0) + k; }
    ~AllocWatch() { TestAllocator::failAt = -1; }
};

CharacterPtr Read(const Buffer& b, VLMCharacterDefinition* words)
{
    return sample::Adopt(
        VLMReadCharacterBlob(words, b.bytes.data(), b.bytes.size(), &TestAllocator::allocate, &TestAllocator::release));
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestAllocator::reset();
        def = sample::FullDefinition();
        def.words[5] = 0;  // an unused node in the middle
        def.words[100] = 0;
        std::mt19937 rng(7);
        records = sample::RandomRecords(rng);
        VLMBoneInversionInit(&inversion);
        VLMBoneInversionSetLeftLeg(&inversion, 1);
        VLMBoneInversionSetRightForeArm(&inversion, 1);
        character = sample::Create(def);
        ASSERT_TRUE(character);
        VLMApplyJointGeometries(&def, character.get(), records.data(), VLM_NODE_COUNT, &inversion);
    }
    void TearDown() override
    {
        character.reset();
        EXPECT_EQ(TestAllocator::live, 0) << "every allocation is released";
    }

    VLMCharacterDefinition def;
    std::array<VLMJointGeometry, VLM_NODE_COUNT> records;
    VLMBoneInversion inversion;
    CharacterPtr character;
};

TEST_F(StreamTest, BothByteOrdersCarryTheSameCharacter)
{
    Buffer native;
    EXPECT_TRUE(RestoresCallerWord([&] { native = Write(def, character.get(), false); }));
    const Buffer swapped = Write(def, character.get(), true);
    const std::uint32_t used = VLMCountUsedDefinitionWords(&def);
    EXPECT_EQ(used, 170u);
    ASSERT_EQ(native.bytes.size(), 712u + 120u * used);
    ASSERT_EQ(swapped.bytes.size(), native.bytes.size());
    EXPECT_EQ(VLMCharacterBlobBodySize(&def), native.bytes.size() - 8);

    const unsigned char little[4] = {0x89, 0x27, 0x02, 0x24};
    EXPECT_EQ(std::memcmp(native.bytes.data(), little, 4), 0);
    for (std::size_t i = 0; i < native.bytes.size() / 4; ++i)
        ASSERT_EQ(swapped.word(i), __builtin_bswap32(native.word(i))) << "word " << i;
    EXPECT_EQ(native.word(1), 1u);
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        EXPECT_EQ(native.word(2 + id), def.words[id]);

    // The records in the stream are what the bulk read gives, packed, and the
    // trailer holds the inversion flags.
    std::vector<VLMJointGeometry> packed(used);
    VLMBoneInversion flags;
    VLMReadJointGeometries(&def, character.get(), packed.data(), int(used), &flags);
    EXPECT_EQ(std::memcmp(native.bytes.data() + 696, packed.data(), 120 * used), 0);
    const std::uint32_t expectedFlags[4] = {1, 0, 0, 1};
    EXPECT_EQ(std::memcmp(native.bytes.data() + 696 + 120 * used, expectedFlags, 16), 0);

    VLMCharacterDefinition fromNative{}, fromSwapped{};
    CharacterPtr a;
    EXPECT_TRUE(RestoresCallerWord([&] { a = Read(native, &fromNative); }));
    CharacterPtr b = Read(swapped, &fromSwapped);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::memcmp(&fromNative, &def, sizeof def), 0);
    EXPECT_EQ(std::memcmp(&fromSwapped, &def, sizeof def), 0);
    // Built by the same steps from the same values: equal blocks, so both
    // answer every query alike.
    EXPECT_EQ(std::memcmp(a.get(), b.get(), VLMCharacterHeaderOf(a.get())->blockSize), 0);

    // Against the written character: the rest pose, limits, mask, order and
    // flags bit for bit, the rotations up to the rounding of one more fold.
    std::vector<VLMJointGeometry> back(used);
    VLMBoneInversion backFlags;
    VLMReadJointGeometries(&def, a.get(), back.data(), int(used), &backFlags);
    EXPECT_EQ(std::memcmp(&backFlags, &flags, sizeof flags), 0);
    for (std::uint32_t k = 0; k < used; ++k) {
        const VLMJointGeometry &x = packed[k], &y = back[k];
        EXPECT_EQ(std::memcmp(x.translate, y.translate, 40), 0) << k;
        EXPECT_EQ(std::memcmp(x.maxRLimit, y.maxRLimit, 28), 0) << k;
        EXPECT_EQ(std::memcmp(x.parentOffsetRotateQ, y.parentOffsetRotateQ, 20), 0) << k;
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(x.preRotQ[i], y.preRotQ[i], 1e-5f) << k;
            EXPECT_NEAR(x.postRotQ[i], y.postRotQ[i], 1e-5f) << k;
        }
    }
}

// Orders the reader would reject never enter a character, so whatever the
// setters and the transfer were given, the written stream reads back.
TEST_F(StreamTest, RotationOrdersAboveTwelveNeverReachTheStream)
{
    VLMSetNodeRotationOrder(character.get(), 2, 7);
    VLMSetNodeRotationOrder(character.get(), 2, 13);
    const std::uint32_t applied = records[4].rotationOrder;
    records[4].rotationOrder = 0xFFFFFFFFu;
    CharacterPtr fresh = sample::Create(def);
    VLMApplyJointGeometries(&def, fresh.get(), records.data(), VLM_NODE_COUNT, nullptr);
    for (const VLMCharacter* c : {character.get(), fresh.get()}) {
        VLMCharacterDefinition back{};
        CharacterPtr read = Read(Write(def, c, false), &back);
        ASSERT_TRUE(read);
        std::uint32_t orders[2] = {};
        float lo[3], hi[3], pre[4], post[4];
        std::uint32_t mask = 0;
        VLMGetNodeRotationDefinition(read.get(), 2, lo, hi, pre, post, &mask, &orders[0]);
        VLMGetNodeRotationDefinition(read.get(), 4, lo, hi, pre, post, &mask, &orders[1]);
        EXPECT_EQ(orders[0], c == fresh.get() ? records[2].rotationOrder : 7u);
        EXPECT_EQ(orders[1], c == fresh.get() ? std::uint32_t(VLM_ROTATION_EULER_XYZ) : applied);
    }
}

TEST_F(StreamTest, ShortOrDamagedStreamsAreRejected)
{
    for (bool swap : {false, true}) {
        Buffer good = Write(def, character.get(), swap);
        const std::size_t size = good.bytes.size();
        VLMCharacterDefinition words{};
        // Every truncation, down to nothing, fails without asking for memory.
        AllocWatch watch;
        for (std::size_t n = 0; n < size; ++n) {
            ASSERT_EQ(
                VLMReadCharacterBlob(&words, good.bytes.data(), n, &TestAllocator::allocate, &TestAllocator::release),
                nullptr)
                << n;
        }
        EXPECT_EQ(watch.requests(), 0u);

        // Extra bytes after the stream are ignored.
        Buffer longer = good;
        longer.bytes.resize(size + 13, 0xAB);
        EXPECT_TRUE(Read(longer, &words));

        auto rejected = [&](Buffer b) {
            AllocWatch w;
            const bool failed = !Read(b, &words);
            EXPECT_EQ(w.leaked(), 0);
            return failed;
        };
        auto put = [&](Buffer b, std::size_t word, std::uint32_t value) {
            b.setWord(word, swap ? __builtin_bswap32(value) : value);
            return b;
        };
        EXPECT_TRUE(rejected(put(good, 0, 0x24022788u)));
        EXPECT_TRUE(rejected(put(good, 0, 0)));
        EXPECT_TRUE(rejected(put(good, 1, 0)));
        EXPECT_TRUE(rejected(put(good, 1, 2)));
        // Rotation order: the last word of a record; 12 is the highest order.
        const std::size_t orderWord = (696 + 120 * 3 + 116) / 4;
        EXPECT_FALSE(rejected(put(good, orderWord, 12)));
        EXPECT_TRUE(rejected(put(good, orderWord, 13)));
        EXPECT_TRUE(rejected(put(good, orderWord, 0xFFFFFFFFu)));
        // One more used node in the definition: the stream is now too short.
        EXPECT_TRUE(rejected(put(good, 2 + 5, 1)));
        // One fewer: the stream is long enough (the records shift by one).
        EXPECT_FALSE(rejected(put(good, 2 + 6, 0)));
    }
    VLMCharacterDefinition words{};
    EXPECT_EQ(VLMReadCharacterBlob(&words, nullptr, 712, &TestAllocator::allocate, &TestAllocator::release), nullptr);
}

// A NaN or an infinity anywhere in a record is refused, naming the record's
// node (record 5 is node 6: node 5 is unused); a rotation order above 12 too.
TEST_F(StreamTest, NonFiniteRecordsAreRefusedNamingTheirNode)
{
    const Buffer good = Write(def, character.get(), true);
    const std::size_t record = (696 + 120 * 5) / 4;
    const std::uint32_t bad[] = {0x7FC00000u, 0x7F800000u, 0xFF800000u};  // NaN, +inf, -inf
    // translate, rotation, scale, pre-, post-rotation, limits, parent offset, order
    for (std::size_t field : {0, 3, 9, 10, 17, 18, 23, 28, 29}) {
        Buffer b = good;
        b.setWord(record + field, __builtin_bswap32(field == 29 ? 13u : bad[field % 3]));
        VLMCharacterDefinition words{};
        VLMBlobFault fault{};
        AllocWatch watch;
        EXPECT_EQ(VLMReadCharacterBlobChecked(&words, b.bytes.data(), b.bytes.size(), &TestAllocator::allocate,
                                              &TestAllocator::release, &fault),
                  nullptr)
            << field;
        EXPECT_EQ(watch.leaked(), 0);
        EXPECT_EQ(fault.node, 6) << field;
        EXPECT_EQ(fault.fault, field == 29 ? VLM_BLOB_RECORD_ROTATION_ORDER : VLM_BLOB_RECORD_NOT_FINITE) << field;
    }
    VLMCharacterDefinition words{};
    VLMBlobFault fault{};
    CharacterPtr read = sample::Adopt(VLMReadCharacterBlobChecked(&words, good.bytes.data(), good.bytes.size(),
                                                                  &TestAllocator::allocate, &TestAllocator::release,
                                                                  &fault));
    EXPECT_TRUE(read);
    EXPECT_EQ(fault.node, -1);
}

// Rotations that are not of unit length come back unit, so that reading and
// writing again never wears them away; a valid stream loads exactly the
// character its records make.
TEST_F(StreamTest, RotationsAreBroughtToUnitLengthAndValidStreamsLoadUnchanged)
{
    const Buffer good = Write(def, character.get(), false);
    VLMCharacterDefinition words{};
    CharacterPtr read = Read(good, &words);
    const std::uint32_t used = VLMCountUsedDefinitionWords(&def);
    std::vector<VLMJointGeometry> packed(used);
    std::memcpy(packed.data(), good.bytes.data() + 696, 120 * used);
    CharacterPtr direct = sample::Create(def);
    VLMApplyJointGeometries(&def, direct.get(), packed.data(), int(used), &inversion);
    ASSERT_TRUE(read && direct);
    EXPECT_EQ(std::memcmp(read.get(), direct.get(), VLMCharacterHeaderOf(read.get())->blockSize), 0);

    // Node 6 (record 5) with each rotation at 0.866 of unit length: every
    // trip gives them back unit (valid pre- and post-rotations, too, take
    // the rounding of one more fold per trip).
    Buffer trip = good;
    VLMJointGeometry& r = *reinterpret_cast<VLMJointGeometry*>(trip.bytes.data() + 696 + 120 * 5);
    for (float* q : {r.rotateQ, r.preRotQ, r.postRotQ, r.parentOffsetRotateQ})
        std::fill(q, q + 4, 0.433f);
    for (int n = 0; n < 3; ++n) {
        CharacterPtr c = Read(trip, &words);
        ASSERT_TRUE(c);
        trip = Write(words, c.get(), false);
        const VLMJointGeometry& back = *reinterpret_cast<const VLMJointGeometry*>(trip.bytes.data() + 696 + 120 * 5);
        for (const float* q : {back.rotateQ, back.preRotQ, back.postRotQ, back.parentOffsetRotateQ}) {
            EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0f, 2e-6f) << "trip " << n;
            EXPECT_NEAR(q[0], 0.5f, 1e-6f) << "trip " << n;
        }
    }
}

TEST_F(StreamTest, AllocationFailuresLeakNothing)
{
    // The writer asks twice (records, then the stream), the reader twice
    // (records, then the character); fail each request in turn.
    const Buffer good = Write(def, character.get(), true);
    for (int fail = 0; fail < 2; ++fail) {
        AllocWatch watch;
        watch.failRequest(fail);
        std::uint64_t size = 12345;
        EXPECT_EQ(VLMWriteCharacterBlob(&size, &def, character.get(), false, &TestAllocator::allocate,
                                        &TestAllocator::release),
                  nullptr);
        EXPECT_EQ(size, 12345u) << "size untouched on failure";
        EXPECT_EQ(watch.leaked(), 0) << "write, failing request " << fail;
        EXPECT_EQ(watch.requests(), std::size_t(fail + 1));
    }
    for (int fail = 0; fail < 2; ++fail) {
        AllocWatch watch;
        watch.failRequest(fail);
        VLMCharacterDefinition words{};
        EXPECT_FALSE(Read(good, &words));
        EXPECT_EQ(watch.leaked(), 0) << "read, failing request " << fail;
        EXPECT_EQ(watch.requests(), std::size_t(fail + 1));
        // Once the records are in, the words reach the caller even though the
        // character cannot be created.
        EXPECT_EQ(std::memcmp(&words, &def, sizeof def) == 0, fail == 1);
    }
}

TEST_F(StreamTest, EmptyDefinitionMakesNoZeroByteRequest)
{
    const VLMCharacterDefinition empty{};
    CharacterPtr blank = sample::Create(empty);
    VLMApplyJointGeometries(&empty, blank.get(), nullptr, 0, nullptr);
    AllocWatch writing;
    const Buffer b = Write(empty, blank.get(), true);
    ASSERT_EQ(b.bytes.size(), 712u);
    ASSERT_EQ(writing.requests(), 1u) << "only the stream";
    EXPECT_EQ(writing.request(0), 712u);

    AllocWatch reading;
    VLMCharacterDefinition words;
    std::memset(&words, 0xFF, sizeof words);
    CharacterPtr back = Read(b, &words);
    ASSERT_TRUE(back);
    ASSERT_EQ(reading.requests(), 1u) << "only the character";
    EXPECT_EQ(std::memcmp(&words, &empty, sizeof words), 0);
    EXPECT_EQ(VLMCharacterHeaderOf(back.get())->nodeCount, 1u);
    EXPECT_EQ(VLMGetNodeDefinitionBits(back.get(), 0), 1);
    EXPECT_EQ(VLMGetNodeDefinitionBits(back.get(), 1), 0);
    back.reset();
    blank.reset();
}

// Random damage: bit flips anywhere, truncations and extensions, a changed
// definition word. Each stream must either load (and then answer queries) or
// fail, leaking nothing; the sanitizer build checks every access.
TEST_F(StreamTest, MutatedStreamsLoadOrFailCleanly)
{
    std::mt19937 rng(2024);
    const Buffer native = Write(def, character.get(), false);
    const Buffer swapped = Write(def, character.get(), true);
    // A small stream as well, so that mutations of the definition often load.
    VLMCharacterDefinition few{};
    std::fill(few.words, few.words + 16, 7u);
    CharacterPtr small = sample::Create(few);
    VLMApplyJointGeometries(&few, small.get(), records.data(), VLM_NODE_COUNT, &inversion);
    const Buffer smallStream = Write(few, small.get(), true);

    int loaded = 0;
    const int rounds = 3000;
    for (int round = 0; round < rounds; ++round) {
        const Buffer& base = round % 3 == 0 ? native : round % 3 == 1 ? swapped : smallStream;
        Buffer b = base;
        const int kind = std::uniform_int_distribution<int>(0, 3)(rng);
        std::uniform_int_distribution<std::size_t> anywhere(0, b.bytes.size() - 1);
        if (kind == 0) {
            const int flips = std::uniform_int_distribution<int>(1, 8)(rng);
            for (int i = 0; i < flips; ++i)
                b.bytes[anywhere(rng)] ^= static_cast<unsigned char>(1u << (rng() % 8));
        } else if (kind == 1) {
            b.bytes.resize(anywhere(rng));
        } else if (kind == 2) {
            b.bytes.resize(b.bytes.size() + 1 + rng() % 300, static_cast<unsigned char>(rng()));
        } else {
            const std::size_t word = 2 + rng() % VLM_NODE_COUNT;
            b.setWord(word, static_cast<std::uint32_t>(rng()));
        }
        AllocWatch watch;
        VLMCharacterDefinition words{};
        CharacterPtr c = Read(b, &words);
        if (c) {
            ++loaded;
            EXPECT_GE(Write(words, c.get(), rng() % 2 == 0).bytes.size(), 712u);  // reads every used node
        }
        c.reset();
        ASSERT_EQ(watch.leaked(), 0) << "round " << round;
    }
    EXPECT_GT(loaded, rounds / 10) << "the mutations also exercise streams that load";
    EXPECT_LT(loaded, rounds) << "and streams that fail";
    small.reset();
}

TEST(StreamHelpers, WordCopiesReverseEveryWordAtAnyAddress)
{
    VLMJointGeometry r, back;
    VLMJointGeometryInit(&r);
    VLMJointGeometrySetRotationOrder(&r, VLM_ROTATION_SPHERIC_XYZ);
    unsigned char bytes[1 + 120];
    EXPECT_EQ(VLMBlobPutJointGeometry(bytes + 1, &r, true), 120u);
    EXPECT_EQ(bytes[1 + 116], 0u);
    EXPECT_EQ(bytes[1 + 119], 12u);
    EXPECT_EQ(VLMBlobGetJointGeometry(&back, bytes + 1, true), 120u);
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
    std::uint32_t words[2] = {0x01020304u, 0xA0B0C0D0u};
    VLMByteSwapWords(words, sizeof words);
    EXPECT_EQ(words[0], VLMByteSwap32(0x01020304u));
    EXPECT_EQ(words[1], 0xD0C0B0A0u);
}

}  // namespace
