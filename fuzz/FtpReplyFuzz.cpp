// Fuzz target of the FTP client's reading of the control connection: any
// byte stream, cut anywhere, gives the same replies as in one piece; every
// reply has a code of 100 to 599 and stays within the reply bound; a
// stream the parser refuses stays refused.
#include "FtpReply.h"

#include <cstdint>
#include <cstdlib>

namespace {

ftp::ReplyParser::Status parse(const char* data, std::size_t size, std::size_t cut, std::vector<ftp::Reply>& out)
{
    ftp::ReplyParser p;
    p.feed(data, cut, out);
    return p.feed(data + cut, size - cut, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const char* data = reinterpret_cast<const char*>(bytes);
    std::vector<ftp::Reply> whole, split;
    const auto a = parse(data, size, 0, whole);
    const auto b = parse(data, size, size / 2, split);
    if (a != b || whole.size() != split.size())
        std::abort();
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const ftp::Reply& r = whole[i];
        if (r.code < 100 || r.code > 599 || r.text.size() > ftp::kMaxReplyBytes || r.text != split[i].text)
            std::abort();
        if (r.text.compare(0, 3, std::to_string(r.code)) != 0)
            std::abort();
    }

    // The listing lines of the same bytes keep within their bound.
    ftp::LineSplitter lines;
    std::vector<std::string> out;
    lines.feed(data, size, out);
    lines.finish(out);
    for (const std::string& line : out)
        if (line.size() > ftp::kMaxLineBytes)
            std::abort();
    return 0;
}
