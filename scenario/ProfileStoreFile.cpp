#include "ProfileStoreCache.h"

#include <algorithm>
#include <utility>

// The parsed file kept against the file on the disk: read anew when it
// changed, and changed only by a replacement or an append that no crash can
// cut.
namespace pressmark {

using textdecoding::encodeText;
using textdecoding::encodingOf;
using textdecoding::unitSize;

namespace {

std::string applyEdits(std::string_view old, std::vector<Edit>& edits) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.pos < b.pos; });
    std::size_t extra = 0;
    for (const Edit& e : edits) {
        extra += e.insert.size();
    }
    std::string out;
    out.reserve(old.size() + extra);
    std::size_t at = 0;
    for (const Edit& e : edits) {
        out.append(old.substr(at, e.pos - at));
        out += e.insert;
        at = e.pos + e.remove;
    }
    out.append(old.substr(at));
    return out;
}

} // namespace

void ProfileStore::Cache::refresh(const std::filesystem::path& path) {
    if (loaded) {
        if (watch.armed()) {
            if (watch.quiet()) {
                return;
            }
        } else if (storefile::identityOf(path) == identity) {
            return;
        }
    }
    reload(path);
}

void ProfileStore::Cache::reload(const std::filesystem::path& path) {
    // Armed before reading: a change made while we read is then seen next time.
    watch.arm(path);
    storefile::Contents c = storefile::readFile(path, static_cast<std::size_t>(kFileLimit));
    dropIndex();
    identity = c.identity;
    readable = c.readable;
    std::size_t markLen = 0;
    encoding = encodingOf(c.bytes, markLen);
    if (encoding == Encoding::Cp1251) {
        bytes = std::move(c.bytes);
        raw.clear();
        rawAt.clear();
    } else {
        raw = std::move(c.bytes);
        bytes.clear();
        rawAt.clear();
        decodeFrom(markLen);
    }
    lines.clear();
    sections.clear();
    parseFrom(0);
    loaded = true;
    ++generation;
}

// The file's new bytes: the edits (made on the 1251 text) applied to the
// file's own bytes, in its own encoding.
std::string ProfileStore::Cache::editedFile(std::vector<Edit>& edits) const {
    if (encoding == Encoding::Cp1251) {
        return applyEdits(bytes, edits);
    }
    for (Edit& e : edits) {
        const std::size_t from = rawAt[e.pos];
        e.remove = rawAt[e.pos + e.remove] - from;
        e.pos = from;
        e.insert = encodeText(encoding, e.insert);
    }
    return applyEdits(raw, edits);
}

void ProfileStore::Cache::commit(const std::filesystem::path& path, std::string newRaw,
                                 const storefile::Replaced& replaced, std::size_t firstChanged) {
    dropIndex();
    if (encoding == Encoding::Cp1251) {
        bytes = std::move(newRaw);
    } else {
        raw = std::move(newRaw);
        std::size_t markLen = 0;
        encodingOf(raw, markLen);
        bytes.clear();
        rawAt.clear();
        decodeFrom(markLen);
    }
    identity = replaced.identity;
    readable = true;
    ++generation;
    // The replacement is on the disk, with everything appended before it.
    appendedUnsynced = false;
    // Everything before the first changed line kept its offsets.
    parseFrom(firstChanged);
    watch.ownReplaceDone(path, replaced.tempName);
}

void ProfileStore::Cache::commitAppend(const std::filesystem::path& path, std::string_view text,
                                       std::string_view rawText,
                                       const storefile::Identity& appended,
                                       std::size_t firstChanged) {
    dropIndex();
    if (encoding == Encoding::Cp1251) {
        bytes += text;
    } else {
        // The appended bytes start with an ASCII character, which ends any
        // sequence the old last bytes began: the old text decodes as before.
        const std::size_t from = raw.size();
        raw += rawText;
        decodeFrom(from);
    }
    identity = appended;
    ++generation;
    appendedUnsynced = true;
    parseFrom(firstChanged);
    watch.ownAppendDone(path, appended);
}

// A new section at the end is appended in place instead of rewriting the
// file, so that a recorded click costs the same at any file size. It is as
// safe as the replacement: the block goes in with one write that does not
// cross an append unit, so whenever the writer dies the file ends before the
// block or after it. When it would cross one, blank characters first fill
// the unit; a reader skips them, and a writer killed there leaves just them.
ProfileStore::Cache::Append ProfileStore::Cache::appendSection(const std::filesystem::path& path,
                                                               std::string_view block,
                                                               bool openLine,
                                                               std::size_t firstChanged) {
    const std::size_t unit = storefile::atomicAppendUnit(watch.armed());
    const std::size_t charSize = unitSize(encoding);
    const std::size_t size = fileBytes().size();
    if (unit == 0 || !identity.exists || size != identity.size || size % charSize != 0) {
        return Append::NotSafe;
    }
    std::string text = openLine ? std::string(kNewLine) + std::string(block) : std::string(block);
    std::string rawText = encodeText(encoding, text);
    if (size % unit + rawText.size() > unit) {
        const std::string rawBlock = encodeText(encoding, block);
        if (rawBlock.size() > unit) {
            return Append::NotSafe;
        }
        const std::size_t padChars = (unit - size % unit) / charSize;
        // Never a LF right after a CR that ends the file: that would turn
        // its line end into another one.
        std::string pad;
        if (padChars == 1) {
            pad.assign(1, openLine ? '\n' : ' ');
        } else {
            pad.assign(padChars - 2, ' ');
            pad += kNewLine;
        }
        rawText = encodeText(encoding, pad) + rawBlock;
        text = pad + std::string(block);
    }
    const auto appended = storefile::appendFile(path, identity, rawText);
    if (!appended) {
        return Append::FileChanged;
    }
    commitAppend(path, text, rawText, *appended, firstChanged);
    return Append::Done;
}
} // namespace pressmark
