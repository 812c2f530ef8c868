// Users file loading, session bookkeeping and the replies of the IMI stand-in.
#include "imi_store.h"

#include "unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/random.h>

namespace {

// Attempts at drawing an id that is neither 0 nor already in use.
constexpr int ID_DRAWS = 16;

store_session *find_session(imi_store *st, const char *id_text)
{
    for (store_session &s : st->sessions) {
        if (!s.used)
            continue;
        char text[16];
        std::snprintf(text, sizeof text, "%u", s.id);
        if (std::strcmp(text, id_text) == 0)
            return &s;
    }
    return nullptr;
}

bool expired(const imi_store *st, const store_session &s, std::int64_t now_ms)
{
    return now_ms - s.last_ms > st->idle_ms;
}

void purge_expired(imi_store *st, std::int64_t now_ms)
{
    for (store_session &s : st->sessions)
        if (s.used && expired(st, s, now_ms))
            s.used = false;
}

const store_user *find_user(const imi_store *st, const char *name, const char *password)
{
    for (std::size_t i = 0; i < st->user_count; ++i) {
        const store_user &u = st->users[i];
        if (std::strcmp(u.name, name) == 0 && std::strcmp(u.password, password) == 0)
            return &u;
    }
    return nullptr;
}

// An unpredictable session id whose parity tells the privilege. 0 when the
// random source fails.
std::uint32_t draw_session_id(imi_store *st, bool full)
{
    for (int i = 0; i < ID_DRAWS; ++i) {
        std::uint32_t id;
        if (getrandom(&id, sizeof id, 0) != static_cast<ssize_t>(sizeof id))
            return 0;
        id = full ? (id & ~1u) : (id | 1u);
        char text[16];
        std::snprintf(text, sizeof text, "%u", id);
        if (id != 0 && !find_session(st, text))
            return id;
    }
    return 0;
}

// The 200-byte reply of a check or login.
std::size_t reply_status(unsigned char *reply, std::uint16_t type, std::uint32_t status,
                         const char *user, const char *session, const char *message)
{
    std::memset(reply, 0, IMI_REPLY_MIN);
    imi_put_u16(reply, IMI_OFF_TYPE, type);
    imi_put_u16(reply, IMI_OFF_LENGTH, IMI_REPLY_MIN);
    imi_put_u32(reply, IMI_OFF_STATUS, status);
    imi_put_text(reply, IMI_OFF_USER, IMI_NAME_LEN, user);
    imi_put_text(reply, IMI_OFF_SESSION, IMI_NAME_LEN, session);
    imi_put_text(reply, IMI_OFF_MESSAGE, IMI_REPLY_MIN - IMI_OFF_MESSAGE, message);
    return IMI_REPLY_MIN;
}

std::size_t refuse(unsigned char *reply, std::uint16_t type, const char *message)
{
    return reply_status(reply, type, 0, "", "", message);
}

std::size_t handle_check(imi_store *st, const unsigned char *req, unsigned char *reply,
                         std::int64_t now_ms)
{
    char id_text[IMI_NAME_LEN];
    char addr[IMI_ADDR_LEN];
    imi_get_text(req, IMI_OFF_CHECK_SESSION, IMI_NAME_LEN, id_text, sizeof id_text);
    imi_get_text(req, IMI_OFF_CHECK_ADDR, IMI_ADDR_LEN, addr, sizeof addr);

    store_session *s = find_session(st, id_text);
    if (!s)
        return refuse(reply, IMI_MSG_CHECK_SESSION, "Session not found");
    if (expired(st, *s, now_ms)) {
        s->used = false;
        return refuse(reply, IMI_MSG_CHECK_SESSION, "Session timed out");
    }
    // Someone else presenting a stolen id must not keep the session alive.
    if (std::strcmp(s->addr, addr) != 0)
        return refuse(reply, IMI_MSG_CHECK_SESSION, "Session belongs to another client address");
    s->last_ms = now_ms;
    return reply_status(reply, IMI_MSG_CHECK_SESSION, 1, s->user, id_text, "");
}

std::size_t handle_login(imi_store *st, const unsigned char *req, unsigned char *reply,
                         std::int64_t now_ms)
{
    char name[IMI_NAME_LEN];
    char password[IMI_ADDR_LEN];
    char addr[IMI_ADDR_LEN];
    imi_get_text(req, IMI_OFF_LOGIN_USER, IMI_NAME_LEN, name, sizeof name);
    imi_get_text(req, IMI_OFF_LOGIN_PASSWORD, IMI_ADDR_LEN, password, sizeof password);
    imi_get_text(req, IMI_OFF_LOGIN_ADDR, IMI_ADDR_LEN, addr, sizeof addr);

    const store_user *u = find_user(st, name, password);
    if (!u)
        return refuse(reply, IMI_MSG_LOGIN, "Wrong user name or password");

    purge_expired(st, now_ms);
    store_session *slot = nullptr;
    for (store_session &s : st->sessions) {
        if (!s.used) {
            slot = &s;
            break;
        }
    }
    if (!slot)
        return refuse(reply, IMI_MSG_LOGIN, "Too many users logged in");

    std::uint32_t id = draw_session_id(st, u->full);
    if (id == 0)
        return refuse(reply, IMI_MSG_LOGIN, "No session id available");

    std::memset(slot, 0, sizeof *slot);
    slot->used = true;
    slot->id = id;
    slot->serial = ++st->serial;
    std::snprintf(slot->user, sizeof slot->user, "%s", u->name);
    std::snprintf(slot->addr, sizeof slot->addr, "%s", addr);
    slot->login_time = static_cast<std::int32_t>(std::time(nullptr));
    slot->last_ms = now_ms;

    char id_text[16];
    std::snprintf(id_text, sizeof id_text, "%u", id);
    return reply_status(reply, IMI_MSG_LOGIN, 1, u->name, id_text, "");
}

std::size_t handle_logout(imi_store *st, const unsigned char *req)
{
    char id_text[IMI_NAME_LEN];
    imi_get_text(req, IMI_OFF_LOGOUT_SESSION, IMI_NAME_LEN, id_text, sizeof id_text);
    if (store_session *s = find_session(st, id_text))
        s->used = false;
    return 0;
}

std::size_t handle_list(imi_store *st, unsigned char *reply, std::int64_t now_ms)
{
    purge_expired(st, now_ms);
    std::size_t len = IMI_HDR_LEN;
    for (const store_session &s : st->sessions) {
        if (!s.used)
            continue;
        unsigned char *rec = reply + len;
        std::memset(rec, 0, IMI_USER_REC_LEN);
        imi_put_u32(rec, IMI_OFF_REC_ID, s.serial);
        imi_put_text(rec, IMI_OFF_REC_USER, IMI_NAME_LEN, s.user);
        imi_put_text(rec, IMI_OFF_REC_ADDR, IMI_ADDR_LEN, s.addr);
        imi_put_u32(rec, IMI_OFF_REC_TIME, static_cast<std::uint32_t>(s.login_time));
        len += IMI_USER_REC_LEN;
    }
    imi_put_u16(reply, IMI_OFF_TYPE, IMI_MSG_LIST_USERS);
    imi_put_u16(reply, IMI_OFF_LENGTH, static_cast<std::uint16_t>(len));
    return len;
}

// Splits line into at most max blank-separated words in place; the count.
std::size_t split_words(char *line, char **words, std::size_t max)
{
    std::size_t n = 0;
    char *save = nullptr;
    for (char *w = strtok_r(line, " \t\r\n", &save); w; w = strtok_r(nullptr, " \t\r\n", &save)) {
        if (n == max)
            return max + 1;
        words[n++] = w;
    }
    return n;
}

} // namespace

int store_load_users(imi_store *st, const char *path, std::int64_t idle_ms, char *err,
                     std::size_t err_size)
{
    std::memset(st, 0, sizeof *st);
    st->idle_ms = idle_ms;

    unique_file f = open_stream(path, O_RDONLY, "r");
    if (!f.ok()) {
        std::snprintf(err, err_size, "%s: %s", path, std::strerror(errno));
        return -1;
    }
    char line[STORE_LINE_SIZE];
    for (int line_no = 1; std::fgets(line, sizeof line, f.get()); ++line_no) {
        std::size_t len = std::strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            std::snprintf(err, err_size, "%s:%d: line too long", path, line_no);
            return -1;
        }
        std::size_t lead = std::strspn(line, " \t\r\n");
        if (line[lead] == '\0' || line[lead] == '#')
            continue;

        char *words[3];
        if (split_words(line, words, 3) != 3) {
            std::snprintf(err, err_size, "%s:%d: want \"name password full|limit\"", path,
                          line_no);
            return -1;
        }
        bool full = std::strcmp(words[2], "full") == 0;
        if (!full && std::strcmp(words[2], "limit") != 0) {
            std::snprintf(err, err_size, "%s:%d: privilege must be full or limit", path,
                          line_no);
            return -1;
        }
        if (std::strlen(words[0]) >= IMI_NAME_LEN || std::strlen(words[1]) >= IMI_ADDR_LEN) {
            std::snprintf(err, err_size, "%s:%d: name or password too long", path, line_no);
            return -1;
        }
        for (std::size_t i = 0; i < st->user_count; ++i) {
            if (std::strcmp(st->users[i].name, words[0]) == 0) {
                std::snprintf(err, err_size, "%s:%d: user %s listed twice", path, line_no,
                              words[0]);
                return -1;
            }
        }
        if (st->user_count == STORE_MAX_USERS) {
            std::snprintf(err, err_size, "%s:%d: more than %zu users", path, line_no,
                          STORE_MAX_USERS);
            return -1;
        }
        store_user &u = st->users[st->user_count++];
        std::snprintf(u.name, sizeof u.name, "%s", words[0]);
        std::snprintf(u.password, sizeof u.password, "%s", words[1]);
        u.full = full;
    }
    return 0;
}

std::size_t store_request_len(std::uint16_t type)
{
    switch (type) {
    case IMI_MSG_LOGIN:
        return IMI_LOGIN_LEN;
    case IMI_MSG_LOGOUT:
        return IMI_LOGOUT_LEN;
    case IMI_MSG_CHECK_SESSION:
        return IMI_CHECK_LEN;
    case IMI_MSG_LIST_USERS:
        return IMI_LIST_LEN;
    default:
        return 0;
    }
}

std::size_t store_handle(imi_store *st, const unsigned char *req, unsigned char *reply,
                         std::int64_t now_ms)
{
    switch (imi_get_u16(req, IMI_OFF_TYPE)) {
    case IMI_MSG_LOGIN:
        return handle_login(st, req, reply, now_ms);
    case IMI_MSG_LOGOUT:
        return handle_logout(st, req);
    case IMI_MSG_CHECK_SESSION:
        return handle_check(st, req, reply, now_ms);
    case IMI_MSG_LIST_USERS:
        return handle_list(st, reply, now_ms);
    default:
        return 0;
    }
}
