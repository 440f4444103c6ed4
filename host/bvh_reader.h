// A small, strict reader of the HIERARCHY section of BVH motion files: joint
// names, parent links and rest offsets. The MOTION section is not read. A
// UTF-8 byte-order mark in front of the text is skipped.
//
// Malformed input never crashes the reader and never yields a partial
// skeleton: it answers false with the file, the line and the reason (file
// text quoted in the reason shows control and non-ASCII bytes as \xNN). A
// joint name with a character XML cannot hold (a control character, U+FFFE,
// U+FFFF, an encoded surrogate) is refused with its line: the names are kept
// in XML files. The hierarchy is walked with an explicit stack whose depth is
// bounded, so a deeply nested file cannot exhaust the call stack.
#ifndef SKW_HOST_BVH_READER_H
#define SKW_HOST_BVH_READER_H

#include <string>
#include <vector>

struct BvhJoint {
    std::string name;
    int parent = -1;              // index of the parent joint, -1 for a root
    float offset[3] = {0, 0, 0};  // rest translation relative to the parent
    int channelCount = 0;
    int line = 0;  // line of the ROOT or JOINT statement
};

// Joints in file order, so every parent comes before its children.
struct BvhSkeleton {
    std::vector<BvhJoint> joints;
};

struct BvhError {
    std::string file;
    int line = 0;  // 1-based; 0 when the failure concerns the whole file
    std::string reason;

    // "file:line: reason", or "file: reason" without a line.
    std::string Message() const;
};

// Limits that keep hostile input bounded.
enum : int {
    kBvhMaxDepth = 128,  // nesting of joint blocks
    kBvhMaxJoints = 10000,
    kBvhMaxNameLength = 256
};
constexpr std::size_t kBvhMaxFileSize = 32u * 1024u * 1024u;

// Reads BVH text; `fileLabel` names the source in error messages. On failure
// `skeleton` is left empty.
bool ReadBvhText(const std::string& text, const std::string& fileLabel, BvhSkeleton& skeleton, BvhError& error);

// Reads a BVH file from disk (a missing or oversized file is an error too, and
// so is a path that is not a regular file: a folder, or a named pipe, which
// would wait for a writer).
bool ReadBvhFile(const std::string& path, BvhSkeleton& skeleton, BvhError& error);

#endif
