// The FTP client's reading of what the server sends: control replies (one
// or more lines, "ddd text" or a "ddd-" block closed by "ddd text") and the
// lines of a listing. Both have bounds, so nothing the server sends can grow
// without limit. Plain C++ without Qt, so the fuzz targets take it as it is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ftp {

// The longest reply (all its lines) and the longest listing line.
inline constexpr std::size_t kMaxReplyBytes = 8192;
inline constexpr std::size_t kMaxLineBytes = 8192;

struct Reply {
    int code = 0;       // 100 to 599
    std::string text;   // the reply's lines as sent, without line ends, joined by '\n'

    bool preliminary() const { return code / 100 == 1; }
    bool positive() const { return code / 100 == 2; }
    bool intermediate() const { return code / 100 == 3; }
    bool negative() const { return code >= 400; }
};

// Cuts a byte stream into lines at LF (a CR before it is dropped). A line
// longer than kMaxLineBytes puts the splitter into its failed state.
class LineSplitter {
public:
    explicit LineSplitter(std::size_t maxLine = kMaxLineBytes) : m_max(maxLine) {}
    // Appends the complete lines in `data` to `lines`; false once failed.
    bool feed(const char* data, std::size_t size, std::vector<std::string>& lines);
    // The last line when the stream ended without a line end.
    bool finish(std::vector<std::string>& lines);
    bool failed() const { return m_failed; }

private:
    std::string m_line;
    std::size_t m_max;
    bool m_failed = false;
};

// Control connection replies.
class ReplyParser {
public:
    enum class Status { Ok, TooLong, Malformed };

    // Appends the replies completed by `data` to `replies`. Once a reply is
    // too long or malformed the parser stays in that state.
    Status feed(const char* data, std::size_t size, std::vector<Reply>& replies);
    Status status() const { return m_status; }
    // Whether part of a reply has been received but not its end.
    bool pending() const { return m_pendingBytes > 0; }

private:
    void line(const std::string& text, std::vector<Reply>& replies);

    std::string m_line;
    Reply m_reply;
    bool m_inBlock = false;
    std::size_t m_pendingBytes = 0;
    Status m_status = Status::Ok;
};

const char* describe(ReplyParser::Status status);

}  // namespace ftp
