// IMI client: the cached socket to the management daemon and its fixed-length requests.
#pragma once

#include <cstddef>
#include <cstdint>

// Where IMI listens for the web pages.
inline constexpr const char *IMI_SOCK_PATH = "/tmp/.webuser_line";

// Message types; the request header carries one of them.
inline constexpr std::uint16_t IMI_MSG_LOGIN = 1;
inline constexpr std::uint16_t IMI_MSG_LOGOUT = 2;
inline constexpr std::uint16_t IMI_MSG_CHECK_SESSION = 3;
inline constexpr std::uint16_t IMI_MSG_LIST_USERS = 5;

// Every integer field is in host byte order: pages and IMI share one machine.
// The structs below name the fields and show the layout; messages are never
// made by casting one over a buffer but built and read field by field with
// the imi_put_* / imi_get_* helpers at the IMI_OFF_* offsets.

// Opens every request and every reply.
struct imi_msg_hdr {
    std::uint16_t type;
    std::uint16_t length; // the whole message, header included; where a reply ends
};

// The reply to a session check and to a login.
struct imi_reply {
    imi_msg_hdr hdr;   // only its length is examined
    std::uint32_t status; // non-zero accepted, 0 refused
    char user[32];     // check: who holds the session
    char session[32];  // login: the new session id
    char message[128]; // why it was refused; runs to the end of a longer reply
};

// One record of the user list reply.
struct imi_user_rec {
    std::uint32_t id;
    char user[32];
    char addr[64];
    std::int32_t time; // seconds since the epoch
};

inline constexpr std::size_t IMI_HDR_LEN = sizeof(imi_msg_hdr);
inline constexpr std::size_t IMI_LOGIN_LEN = 164;
inline constexpr std::size_t IMI_LOGOUT_LEN = 36;
inline constexpr std::size_t IMI_CHECK_LEN = 100;
inline constexpr std::size_t IMI_LIST_LEN = IMI_HDR_LEN;

// Replies to check and login are read into IMI_REPLY_BUF bytes; a valid one
// has at least IMI_REPLY_MIN.
inline constexpr std::size_t IMI_REPLY_BUF = 512;
inline constexpr std::size_t IMI_REPLY_MIN = sizeof(imi_reply);
// The user list reply is read with one read of IMI_LIST_BUF bytes, so it
// holds at most IMI_LIST_MAX records.
inline constexpr std::size_t IMI_USER_REC_LEN = sizeof(imi_user_rec);
inline constexpr std::size_t IMI_LIST_MAX = 8;
inline constexpr std::size_t IMI_LIST_BUF = IMI_HDR_LEN + IMI_LIST_MAX * IMI_USER_REC_LEN;

// Text field widths.
inline constexpr std::size_t IMI_NAME_LEN = 32;    // user names, session ids
inline constexpr std::size_t IMI_ADDR_LEN = 64;    // client addresses, login texts
inline constexpr std::size_t IMI_SESSION_BUF = 32; // caller's user and session buffers
inline constexpr std::size_t IMI_LOGIN_ERR_SIZE = 500;
inline constexpr std::size_t IMI_LIST_ERR_SIZE = 28;

// Field offsets. Header: type 0, length 2.
inline constexpr std::size_t IMI_OFF_TYPE = 0;
inline constexpr std::size_t IMI_OFF_LENGTH = 2;
// Session check request.
inline constexpr std::size_t IMI_OFF_CHECK_SESSION = 4;
inline constexpr std::size_t IMI_OFF_CHECK_ADDR = 36;
// Login request.
inline constexpr std::size_t IMI_OFF_LOGIN_USER = 4;
inline constexpr std::size_t IMI_OFF_LOGIN_PASSWORD = 36;
inline constexpr std::size_t IMI_OFF_LOGIN_ADDR = 100;
// Logout request.
inline constexpr std::size_t IMI_OFF_LOGOUT_SESSION = 4;
// Reply to check and login.
inline constexpr std::size_t IMI_OFF_STATUS = offsetof(imi_reply, status);
inline constexpr std::size_t IMI_OFF_USER = offsetof(imi_reply, user);
inline constexpr std::size_t IMI_OFF_SESSION = offsetof(imi_reply, session);
inline constexpr std::size_t IMI_OFF_MESSAGE = offsetof(imi_reply, message);
// User record, relative to the record's start.
inline constexpr std::size_t IMI_OFF_REC_ID = offsetof(imi_user_rec, id);
inline constexpr std::size_t IMI_OFF_REC_USER = offsetof(imi_user_rec, user);
inline constexpr std::size_t IMI_OFF_REC_ADDR = offsetof(imi_user_rec, addr);
inline constexpr std::size_t IMI_OFF_REC_TIME = offsetof(imi_user_rec, time);

static_assert(IMI_HDR_LEN == 4);
static_assert(IMI_OFF_STATUS == 4 && IMI_OFF_USER == 8 && IMI_OFF_SESSION == 40 &&
              IMI_OFF_MESSAGE == 72 && IMI_REPLY_MIN == 200);
static_assert(IMI_OFF_REC_ID == 0 && IMI_OFF_REC_USER == 4 && IMI_OFF_REC_ADDR == 36 &&
              IMI_OFF_REC_TIME == 100 && IMI_USER_REC_LEN == 104 && IMI_LIST_BUF == 836);

// The packing helpers every message goes through. buf must hold off plus the
// field's width.
void imi_put_u16(unsigned char *buf, std::size_t off, std::uint16_t v);
void imi_put_u32(unsigned char *buf, std::size_t off, std::uint32_t v);
// Text field of width bytes: text cut to width - 1 characters, terminated,
// the rest zero. A null text gives an empty field.
void imi_put_text(unsigned char *buf, std::size_t off, std::size_t width, const char *text);
std::uint16_t imi_get_u16(const unsigned char *buf, std::size_t off);
std::uint32_t imi_get_u32(const unsigned char *buf, std::size_t off);
// Copies the text of a width-byte field into out (out_size bytes, at least 1):
// up to the field's terminator, at most min(width, out_size - 1) characters.
void imi_get_text(const unsigned char *buf, std::size_t off, std::size_t width, char *out,
                  std::size_t out_size);

// Makes sure imi_sock_fd holds a connected socket: at once when it already
// does, else by up to five connect attempts a second apart. 0, or -1.
// Each attempt has 5 s for its connect and, in a request, for the send and
// the reply that follow. A request that times out, whose send fails or goes
// out in part, or whose reply is short, malformed or missing (IMI closed),
// or leaves bytes unread (longer than its buffer, more than IMI_LIST_MAX
// records, its header's length not what was read, bytes after it) closes the
// connection, so that the next request connects afresh and never reads a
// late or left-over reply as its own. The request's own result still comes
// from what it read.
int imi_connect();

// Asks IMI whether session_id is a live session for client_addr. 0 when it
// is, with the holder's name in user (32 bytes); 1 otherwise, user untouched.
// A refusal by IMI writes "Not okay: <message>\r\n" to standard output.
int imi_check_session(const char *session_id, const char *client_addr, char *user);

// Logs a user in. What pages and IMI agree on: password is the user's
// password in clear text, client_addr the web client's remote address (the
// session is then bound to it, so later checks must come from the same
// address). 0 with the new session id in session (32 bytes); 1 with a text
// in err (500 bytes), session untouched.
int imi_login(const char *user, const char *password, const char *client_addr, char *session,
              char *err);

// Ends a session. 0 when the whole request was written, 1 otherwise; IMI
// sends no reply.
int imi_logout(const char *session_id);

// Per-record handler of the user list: user name, id ("%u"), login time
// ("%Y-%m-%d %H:%M:%S", local time) and client address; valid only during
// the call. The result is ignored.
using imi_user_cb = int (*)(const char *user, const char *id, const char *time, const char *addr);

// Hands every logged-in user, in IMI's order, to cb. 0, or 1 with a text in
// err (28 bytes).
int imi_list_users(imi_user_cb cb, char *err);

// Formats t (seconds since the epoch) as local time with the strftime format
// fmt into buf (size bytes). Returns buf, or null without doing anything when
// buf or fmt is null.
char *format_local_time(char *buf, std::size_t size, const char *fmt, std::int32_t t);
