#include "bvh_reader.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> splitWords(const std::string& s)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        std::size_t start = i;
        while (i < s.size() && !isBlank(s[i]))
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    return words;
}

// Locale-independent: the host may run under a locale with a decimal comma.
bool parseFloat(const std::string& word, float& value)
{
    const char* first = word.data();
    const char* last = first + word.size();
    // from_chars takes no '+'; one is allowed, but not in front of another sign.
    if (first != last && *first == '+') {
        ++first;
        if (first != last && (*first == '+' || *first == '-'))
            return false;
    }
    if (first == last)
        return false;
    double d = 0.0;
    auto result = std::from_chars(first, last, d);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(d))
        return false;
    if (std::fabs(d) > 3.0e38)
        return false;
    value = static_cast<float>(d);
    return true;
}

bool parseCount(const std::string& word, int& value)
{
    const char* first = word.data();
    const char* last = first + word.size();
    auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

bool isChannelName(const std::string& w)
{
    return w == "Xposition" || w == "Yposition" || w == "Zposition" || w == "Xrotation" || w == "Yrotation" ||
           w == "Zrotation";
}

// One open block: a joint (index into the skeleton) or an End Site (-1).
struct Frame {
    int joint;
    int headerLine;  // the ROOT, JOINT or End Site line
    int openLine;    // the line of its opening brace
    enum Phase { ExpectBrace, ExpectOffset, ExpectChannels, Children, ExpectClose } phase;
};

class Parser {
public:
    Parser(const std::string& label, BvhSkeleton& out, BvhError& error) : label_(label), out_(out), error_(error) { }

    bool run(const std::string& text)
    {
        if (text.find('\0') != std::string::npos)
            return fail(0, "binary data (a NUL byte) in the file");
        // Some editors start a UTF-8 file with a byte-order mark.
        static const std::string kByteOrderMark = "\xEF\xBB\xBF";
        std::size_t pos = text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 ? kByteOrderMark.size() : 0;
        int lineNo = 0;
        bool seenHierarchy = false;
        while (pos <= text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            ++lineNo;
            const std::string line = trim(text.substr(pos, end - pos));
            pos = end + 1;
            if (line.empty())
                continue;
            lastLine_ = lineNo;
            if (!seenHierarchy) {
                if (line != "HIERARCHY")
                    return fail(lineNo, "expected HIERARCHY, found '" + clip(line) + "'");
                seenHierarchy = true;
                continue;
            }
            if (line == "MOTION") {
                if (!stack_.empty())
                    return failUnclosed(lineNo, "MOTION inside an open block");
                break;  // the motion data is not read
            }
            if (!statement(line, lineNo))
                return false;
        }
        if (!seenHierarchy)
            return fail(0, "empty file: no HIERARCHY section");
        if (!stack_.empty())
            return failUnclosed(lastLine_, "end of file inside an open block");
        if (out_.joints.empty())
            return fail(lastLine_, "no ROOT joint in the HIERARCHY section");
        return true;
    }

private:
    // File text quoted in a message: at most 40 bytes, with control and
    // non-ASCII bytes shown as \xNN so that nothing in it is invisible.
    static std::string clip(const std::string& s)
    {
        static const char kHex[] = "0123456789ABCDEF";
        std::string shown;
        for (std::size_t i = 0; i < s.size() && i < 40; ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c < 0x20 || c >= 0x7F) {
                shown += "\\x";
                shown += kHex[c >> 4];
                shown += kHex[c & 0xF];
            } else {
                shown += static_cast<char>(c);
            }
        }
        return s.size() > 40 ? shown + "..." : shown;
    }

    std::string describe(const Frame& f) const
    {
        if (f.joint >= 0)
            return "joint '" + clip(out_.joints[static_cast<std::size_t>(f.joint)].name) + "'";
        return "the End Site of line " + std::to_string(f.headerLine);
    }

    bool fail(int line, const std::string& reason)
    {
        error_.file = label_;
        error_.line = line;
        error_.reason = reason;
        out_.joints.clear();
        return false;
    }

    bool failUnclosed(int line, const std::string& what)
    {
        const Frame& f = stack_.back();
        return fail(line, what + ": unbalanced braces, " + std::to_string(stack_.size()) +
                              " block(s) not closed (the innermost of " + describe(f) + ", opened at line " +
                              std::to_string(f.openLine) + ")");
    }

    // One statement of the hierarchy, handed to the function of its keyword.
    bool statement(const std::string& line, int lineNo)
    {
        const std::vector<std::string> words = splitWords(line);
        const std::string& key = words[0];
        if (!stack_.empty() && stack_.back().phase == Frame::ExpectBrace)
            return openBrace(line, lineNo);
        if (line == "{")
            return fail(lineNo, "unexpected '{'");
        if (line == "}")
            return closeBrace(lineNo);
        if (key == "ROOT" || key == "JOINT")
            return jointHeader(line, key, lineNo);
        if (key == "End")
            return endSite(line, words, lineNo);
        if (key == "OFFSET")
            return offset(words, lineNo);
        if (key == "CHANNELS")
            return channels(words, lineNo);
        if (stack_.empty() && !out_.joints.empty())
            return fail(lineNo, "unexpected '" + clip(line) + "' after the hierarchy (expected ROOT or MOTION)");
        return fail(lineNo, "unknown statement '" + clip(line) + "'");
    }

    bool openBrace(const std::string& line, int lineNo)
    {
        if (line != "{")
            return fail(lineNo, "expected '{' after " + describe(stack_.back()) + ", found '" + clip(line) + "'");
        stack_.back().phase = Frame::ExpectOffset;
        stack_.back().openLine = lineNo;
        return true;
    }

    bool closeBrace(int lineNo)
    {
        if (stack_.empty())
            return fail(lineNo, "unbalanced braces: '}' without an open block");
        const Frame& f = stack_.back();
        if (f.phase == Frame::ExpectOffset)
            return fail(lineNo, "missing OFFSET in " + describe(f));
        if (f.phase == Frame::ExpectChannels)
            return fail(lineNo, "missing CHANNELS in " + describe(f));
        stack_.pop_back();
        return true;
    }

    bool endSite(const std::string& line, const std::vector<std::string>& words, int lineNo)
    {
        if (words.size() != 2 || words[1] != "Site")
            return fail(lineNo, "unknown statement '" + clip(line) + "'");
        if (stack_.empty())
            return fail(lineNo, "End Site outside a joint block");
        const Frame& parent = stack_.back();
        if (parent.joint < 0)
            return fail(lineNo, "End Site inside an End Site");
        if (parent.phase != Frame::Children)
            return fail(lineNo, parent.phase == Frame::ExpectOffset ? "missing OFFSET before End Site"
                                                                    : "missing CHANNELS before End Site");
        return push(-1, lineNo);
    }

    bool offset(const std::vector<std::string>& words, int lineNo)
    {
        if (stack_.empty())
            return fail(lineNo, "OFFSET outside a joint block");
        Frame& f = stack_.back();
        if (f.phase != Frame::ExpectOffset)
            return fail(lineNo, "OFFSET out of place (one per block, before CHANNELS and children)");
        if (words.size() != 4)
            return fail(lineNo, "OFFSET needs three numbers, found " + std::to_string(words.size() - 1));
        float v[3];
        for (int i = 0; i < 3; ++i) {
            if (!parseFloat(words[i + 1], v[i]))
                return fail(lineNo, "bad number '" + clip(words[i + 1]) + "' in OFFSET");
        }
        if (f.joint >= 0) {
            for (int i = 0; i < 3; ++i)
                out_.joints[f.joint].offset[i] = v[i];
            f.phase = Frame::ExpectChannels;
        } else {
            f.phase = Frame::ExpectClose;
        }
        return true;
    }

    bool channels(const std::vector<std::string>& words, int lineNo)
    {
        if (stack_.empty())
            return fail(lineNo, "CHANNELS outside a joint block");
        Frame& f = stack_.back();
        if (f.joint < 0)
            return fail(lineNo, "CHANNELS in an End Site");
        if (f.phase == Frame::ExpectOffset)
            return fail(lineNo, "missing OFFSET before CHANNELS");
        if (f.phase != Frame::ExpectChannels)
            return fail(lineNo, "CHANNELS given twice");
        int count = 0;
        if (words.size() < 2 || !parseCount(words[1], count))
            return fail(lineNo, "CHANNELS needs a channel count");
        if (count < 0 || count > 6)
            return fail(lineNo, "bad channel count " + words[1] + " (0 to 6)");
        const int listed = static_cast<int>(words.size()) - 2;
        if (listed != count)
            return fail(lineNo, "CHANNELS count mismatch: count " + std::to_string(count) + ", " +
                                    std::to_string(listed) + " channel(s) listed");
        for (int i = 0; i < listed; ++i) {
            const std::string& c = words[i + 2];
            if (!isChannelName(c))
                return fail(lineNo, "unknown channel '" + clip(c) + "'");
            for (int j = 0; j < i; ++j) {
                if (words[j + 2] == c)
                    return fail(lineNo, "channel '" + c + "' listed twice");
            }
        }
        out_.joints[f.joint].channelCount = count;
        f.phase = Frame::Children;
        return true;
    }

    bool jointHeader(const std::string& line, const std::string& key, int lineNo)
    {
        const std::string name = trim(line.substr(key.size()));
        if (name.empty())
            return fail(lineNo, key + " without a name");
        if (name.size() > static_cast<std::size_t>(kBvhMaxNameLength))
            return fail(lineNo, "joint name longer than " + std::to_string(kBvhMaxNameLength) + " characters");
        for (std::size_t i = 0; i < name.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(name[i]);
            if (c == '{' || c == '}')
                return fail(lineNo, "brace in the joint name '" + clip(name) + "' (put braces on their own lines)");
            if (c < 0x20 || c == 0x7F)
                return fail(lineNo, "control character in the joint name");
            // Joint names are kept in XML files, which cannot hold U+FFFE or
            // U+FFFF (EF BF BE, EF BF BF). Other bytes that are not UTF-8 are
            // let through as before: the host reads them as U+FFFD, which XML
            // holds. The bytes of a surrogate (ED A0..BF xx) are among them:
            // they are not UTF-8, so they never become a lone surrogate.
            const unsigned char next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
            const unsigned char third = i + 2 < name.size() ? static_cast<unsigned char>(name[i + 2]) : 0;
            if (c == 0xEF && next == 0xBF && (third == 0xBE || third == 0xBF))
                return fail(lineNo, std::string(third == 0xBE ? "U+FFFE" : "U+FFFF") + " in the joint name '" +
                                        clip(name) + "': joint names are kept in XML files, which cannot hold it");
        }
        if (key == "ROOT" && !stack_.empty())
            return fail(lineNo, "ROOT inside an open block");
        if (key == "JOINT") {
            if (stack_.empty())
                return fail(lineNo, "JOINT '" + clip(name) + "' outside a ROOT block");
            const Frame& parent = stack_.back();
            if (parent.joint < 0)
                return fail(lineNo, "JOINT inside an End Site");
            if (parent.phase == Frame::ExpectOffset)
                return fail(lineNo, "missing OFFSET before JOINT '" + clip(name) + "'");
            if (parent.phase == Frame::ExpectChannels)
                return fail(lineNo, "missing CHANNELS before JOINT '" + clip(name) + "'");
        }
        auto known = names_.find(name);
        if (known != names_.end())
            return fail(lineNo, "duplicate joint name '" + clip(name) + "' (first at line " +
                                    std::to_string(out_.joints[known->second].line) + ")");
        if (out_.joints.size() >= static_cast<std::size_t>(kBvhMaxJoints))
            return fail(lineNo, "more than " + std::to_string(kBvhMaxJoints) + " joints");

        BvhJoint joint;
        joint.name = name;
        joint.parent = stack_.empty() ? -1 : stack_.back().joint;
        joint.line = lineNo;
        const int index = static_cast<int>(out_.joints.size());
        out_.joints.push_back(joint);
        names_.emplace(name, index);
        return push(index, lineNo);
    }

    bool push(int joint, int lineNo)
    {
        if (stack_.size() >= static_cast<std::size_t>(kBvhMaxDepth))
            return fail(lineNo, "hierarchy nested deeper than " + std::to_string(kBvhMaxDepth) + " levels");
        stack_.push_back(Frame{joint, lineNo, lineNo, Frame::ExpectBrace});
        return true;
    }

    const std::string& label_;
    BvhSkeleton& out_;
    BvhError& error_;
    std::vector<Frame> stack_;
    std::unordered_map<std::string, int> names_;
    int lastLine_ = 0;  // last non-blank line, for errors at the end of the file
};

}  // namespace

std::string BvhError::Message() const
{
    if (line > 0)
        return file + ":" + std::to_string(line) + ": " + reason;
    return file + ": " + reason;
}

bool ReadBvhText(const std::string& text, const std::string& fileLabel, BvhSkeleton& skeleton, BvhError& error)
{
    skeleton.joints.clear();
    error = BvhError();
    if (text.size() > kBvhMaxFileSize) {
        error.file = fileLabel;
        error.reason = "file larger than " + std::to_string(kBvhMaxFileSize) + " bytes";
        return false;
    }
    Parser parser(fileLabel, skeleton, error);
    return parser.run(text);
}

bool ReadBvhFile(const std::string& path, BvhSkeleton& skeleton, BvhError& error)
{
    skeleton.joints.clear();
    error = BvhError();
    error.file = path;
    // Checked before opening: opening a named pipe waits for a writer.
    std::error_code status;
    const std::filesystem::file_status kind = std::filesystem::status(path, status);
    if (std::filesystem::exists(kind) && !std::filesystem::is_regular_file(kind)) {
        error.reason = std::filesystem::is_directory(kind) ? "a folder, not a file"
                                                            : "not a regular file: a pipe, a socket or a device";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error.reason = "cannot open the file";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error.reason = "cannot read the file";
        return false;
    }
    if (static_cast<std::size_t>(size) > kBvhMaxFileSize) {
        error.reason = "file larger than " + std::to_string(kBvhMaxFileSize) + " bytes";
        return false;
    }
    in.seekg(0, std::ios::beg);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(&text[0], size)) {
        error.reason = "cannot read the file";
        return false;
    }
    return ReadBvhText(text, path, skeleton, error);
}
