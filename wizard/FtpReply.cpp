#include "FtpReply.h"

namespace ftp {

bool LineSplitter::feed(const char* data, std::size_t size, std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < size && !m_failed; ++i) {
        if (data[i] != '\n') {
            m_line.push_back(data[i]);
            // Room for the CR that may end a line of the longest length.
            m_failed = m_line.size() > m_max + 1;
            continue;
        }
        if (!m_line.empty() && m_line.back() == '\r')
            m_line.pop_back();
        if (m_line.size() > m_max) {
            m_failed = true;
            break;
        }
        lines.push_back(std::move(m_line));
        m_line.clear();
    }
    return !m_failed;
}

bool LineSplitter::finish(std::vector<std::string>& lines)
{
    if (m_failed || m_line.empty())
        return !m_failed;
    return feed("\n", 1, lines);
}

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// The code of a line that opens a reply ("ddd", "ddd text" or "ddd-text"),
// 0 when it does not open one.
int openingCode(const std::string& text)
{
    if (text.size() < 3 || !digit(text[0]) || !digit(text[1]) || !digit(text[2]))
        return 0;
    if (text.size() > 3 && text[3] != ' ' && text[3] != '-')
        return 0;
    int code = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
    return code >= 100 && code < 600 ? code : 0;
}

}  // namespace

ReplyParser::Status ReplyParser::feed(const char* data, std::size_t size, std::vector<Reply>& replies)
{
    for (std::size_t i = 0; i < size && m_status == Status::Ok; ++i) {
        char c = data[i];
        // Every byte of a reply counts, its line ends too.
        if (++m_pendingBytes > kMaxReplyBytes) {
            m_status = Status::TooLong;
            break;
        }
        if (c != '\n') {
            m_line.push_back(c);
            continue;
        }
        if (!m_line.empty() && m_line.back() == '\r')
            m_line.pop_back();
        line(m_line, replies);
        m_line.clear();
    }
    return m_status;
}

void ReplyParser::line(const std::string& text, std::vector<Reply>& replies)
{
    if (!m_inBlock) {
        int code = openingCode(text);
        if (code == 0) {
            m_status = Status::Malformed;
            return;
        }
        m_reply.code = code;
        m_reply.text = text;
        if (text.size() > 3 && text[3] == '-') {
            m_inBlock = true;
            return;
        }
    } else {
        m_reply.text += '\n';
        m_reply.text += text;
        // The block ends with its code followed by a space (or nothing).
        bool closes = text.size() >= 3 && text.compare(0, 3, m_reply.text, 0, 3) == 0 &&
                      (text.size() == 3 || text[3] == ' ');
        if (!closes)
            return;
        m_inBlock = false;
    }
    replies.push_back(std::move(m_reply));
    m_reply = Reply{};
    m_pendingBytes = 0;
}

const char* describe(ReplyParser::Status status)
{
    switch (status) {
    case ReplyParser::Status::Ok: return "";
    case ReplyParser::Status::TooLong: return "The server's reply is longer than 8192 bytes";
    case ReplyParser::Status::Malformed: return "The server sent a reply that is not an FTP reply";
    }
    return "";
}

}  // namespace ftp
