// The IMI stand-in's users and sessions, and its answers to the page requests.
#pragma once

#include "imi_client.h"

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t STORE_MAX_USERS = 64;
// One slot per session the user list can report.
inline constexpr std::size_t STORE_MAX_SESSIONS = IMI_LIST_MAX;
// The users file is read in lines of this size; a longer line is an error.
inline constexpr std::size_t STORE_LINE_SIZE = 256;

struct store_user {
    char name[IMI_NAME_LEN];
    char password[IMI_ADDR_LEN];
    bool full; // full privilege: even session ids; limited: odd ones
};

struct store_session {
    bool used;
    std::uint32_t id;      // the session id, sent as "%u"
    std::uint32_t serial;  // the user list's record id: login count
    char user[IMI_NAME_LEN];
    char addr[IMI_ADDR_LEN];
    std::int32_t login_time; // wall clock, for the user list
    std::int64_t last_ms;    // monotonic time of login or of the last good check
};

struct imi_store {
    store_user users[STORE_MAX_USERS];
    std::size_t user_count;
    store_session sessions[STORE_MAX_SESSIONS];
    std::uint32_t serial;
    std::int64_t idle_ms; // a session unused for longer than this is gone
};

// Empties st and loads the users file: one user a line, "name password
// full|limit", blank lines and lines starting with "#" skipped. 0, or -1
// with the reason in err.
int store_load_users(imi_store *st, const char *path, std::int64_t idle_ms, char *err,
                     std::size_t err_size);

// The whole length of a request of type, or 0 for a type IMI does not serve.
std::size_t store_request_len(std::uint16_t type);

// Answers one whole request (its length as store_request_len gives) at the
// monotonic time now_ms. The reply goes into reply (IMI_LIST_BUF bytes);
// returns its length, 0 when the request has no reply.
std::size_t store_handle(imi_store *st, const unsigned char *req, unsigned char *reply,
                         std::int64_t now_ms);
