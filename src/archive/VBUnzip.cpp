#include "archive/VBUnzip.h"

#include <cstdio>
#include <new>

namespace znt {
namespace {

constexpr std::size_t kListingWidth = 80;
constexpr std::size_t kListingNameBytes = 50;
// Zero-based columns of the listing's size, date and time.
constexpr std::size_t kSizeColumn = 52;
constexpr std::size_t kDateColumn = 61;
constexpr std::size_t kTimeColumn = 70;
constexpr const char* kErrorSource = "CodeModule::VBUnzip";

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// At most maxBytes of a UTF-8 text, not cutting a character in two.
std::string_view Clip(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string PadTo(std::string line, std::size_t width) {
    if (line.size() < width) line.append(width - line.size(), ' ');
    return line;
}

class SinkCallbacks : public ExtractCallbacks {
public:
    SinkCallbacks(UnzipSession& session, ov::MessageSink& sink) : session_(session), sink_(sink) {}

    void Print(std::string_view text) override { session_.messages += WithCrLf(text); }

    ReplaceAnswer Replace(const std::string& name) override {
        switch (sink_.Show("Overwrite " + name + "?", kReplaceTitle, ov::MsgIcon::Exclamation,
                           ov::MsgButtons::YesNoCancel)) {
        case ov::MsgResult::Yes: return ReplaceAnswer::Yes;
        case ov::MsgResult::No: return ReplaceAnswer::No;
        default: return ReplaceAnswer::Cancel;
        }
    }

    std::optional<std::string> Password(const std::string&) override {
        if (session_.passwordCancelled) return std::nullopt;
        auto answer = sink_.InputBox(kPasswordPrompt, "");
        if (!answer || answer->empty()) {
            session_.passwordCancelled = true;
            return std::nullopt;
        }
        return std::string(Clip(*answer, kMaxPasswordBytes));
    }

    void Listed(const ListedMember& member) override {
        if (session_.listedCount == 0) session_.listing = FormatListingLine(nullptr);
        session_.listing += "\r\n" + FormatListingLine(&member);
        ++session_.listedCount;
    }

private:
    UnzipSession& session_;
    ov::MessageSink& sink_;
};

}  // namespace

UnzipError::UnzipError(int number, std::string source, std::string description)
    : std::runtime_error(description),
      number(number),
      source(std::move(source)),
      description(std::move(description)) {}

ExtractOptions ToExtractOptions(const UnzipProperties& p) {
    ExtractOptions o;
    o.extractOnlyNewer = p.ExtractOnlyNewer != 0;
    o.spaceToUnderscore = p.SpaceToUnderScore != 0;
    o.promptOverwrite = p.PromptOverwrite != 0;
    o.quietLevel = p.MessageLevel;
    o.writeToStdout = p.WriteToStdOut != 0;
    o.test = p.TestZip != 0;
    o.list = p.ExtractList != 0;
    o.freshen = p.ExtractNewer != 0;
    o.displayComment = p.DisplayComment != 0;
    o.honorDirectories = p.HonorDirectories != 0;
    o.overwrite = p.OverWriteFiles != 0;
    o.convertLineEnds = p.ConvertCRtoCRLF != 0;
    o.verbose = p.Verbose != 0;
    o.caseSensitive = p.CaseSensitive != 0;
    o.privilege = p.Privilege;
    o.maxMemberBytes = p.MaxMemberBytes;
    o.openReader = p.OpenReader;
    return o;
}

std::string FormatListingLine(const ListedMember* m) {
    if (!m) {
        std::string line = PadTo("Filename:", kSizeColumn) + "Size";
        line = PadTo(line, kDateColumn) + "Date";
        return PadTo(PadTo(line, kTimeColumn) + "Time", kListingWidth);
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, "%7llu  %02d/%02d/%02d %02d:%02d",
                  static_cast<unsigned long long>(m->size), m->month % 100, m->day % 100,
                  m->year % 100, m->hour % 100, m->minute % 100);
    std::string line = PadTo(std::string(Clip(m->name, kListingNameBytes)), kSizeColumn);
    return PadTo(line + tail, kListingWidth);
}

int VBUnzip(const UnzipProperties& properties, UnzipSession& session, ov::MessageSink& sink) {
    session = UnzipSession{};
    try {
        SinkCallbacks callbacks(session, sink);
        return ExtractArchive(properties.ZipFileName, properties.ExtractDir,
                              ToExtractOptions(properties), callbacks, &session.reason);
    } catch (const std::bad_alloc&) {
        throw UnzipError(kErrOutOfMemory, kErrorSource, "Out of memory");
    } catch (const std::exception& e) {
        throw UnzipError(kErrInternal, kErrorSource, e.what());
    }
}

}  // namespace znt
