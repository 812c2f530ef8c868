// QoS page data: shaping, policer and queue class values of a selected port.
#pragma once

#include <cstddef>
#include <cstdint>

struct _cgi;

// Queues with a row in the expected class table.
inline constexpr int QOS_QUEUE_COUNT = 8;
inline constexpr std::size_t QOS_CLASS_ROW_SIZE = 256;
// Line buffer of the QoS output readers.
inline constexpr std::size_t QOS_LINE_SIZE = 256;
inline constexpr std::size_t QOS_CMD_SIZE = 256;

// The classes a page asked for, one row per queue; only a row's first
// character is compared.
using qos_class_row = char[QOS_CLASS_ROW_SIZE];

// Runs "show qos" and stores "qos_enable": "enable" when a line holds
// "Enable", else "disable"; nothing when the result cannot be read.
void qos_enable_load(struct _cgi *cgi);

// Stores "queue.<q>.pir" and "queue.<q>.cir"; a null text stores the key
// without a value. Always 0.
int queue_shape_set(struct _cgi *cgi, std::int32_t queue, const char *cir, const char *pir);

// The shaping data of the first selected port of list (a null list counts as
// empty), with the interface table and "qos_enable". The result of the
// "Interface.ifname" store (0 stored, -1 not); 0 when the port's output
// cannot be read, which leaves "Interface.ifname" unset.
int qos_shape_load(struct _cgi *cgi, const char *list);

// Stores the eight "input_*" or "output_*" policer keys: input when the
// direction begins with "Input", else output. Always 0.
int policer_set(struct _cgi *cgi, const char *direction, const char *color_mode, const char *cir,
                const char *cbs, const char *ebs, const char *pir, const char *pbs,
                const char *drop_color, const char *use_l3_length);

// Stores the policer defaults, then the values of each policer line of the
// file at path. -1 (nothing stored) when it cannot be opened, else 0.
int policer_read(struct _cgi *cgi, const char *path);

// The policer data of the first selected port of list, with the interface
// table and "qos_enable"; "Interface.ifname" is stored in any case. The
// result of that store (0 stored, -1 not).
int qos_policer_load(struct _cgi *cgi, const char *list);

// Stores "queue.<q>.drrweight" and "queue.<q>.class". With check set, first
// compares the class's first character with the expected row of the queue;
// a mismatch writes the retry message into err (ERR_TEXT_SIZE bytes) and
// stores nothing. 0 when stored; -1 when not: failed check, or, while
// checking, a queue outside 0..QOS_QUEUE_COUNT-1 or no table (no message).
int queue_class_set(struct _cgi *cgi, std::int32_t queue, const char *cls, const char *weight,
                    int check, char *err, const qos_class_row *expected);

// The class mapping of the first selected port of list, with the interface
// table and "qos_enable", checked against expected when check is set (err
// then holds the message of the last queue that failed). Results as
// qos_shape_load.
int qos_class_load(struct _cgi *cgi, const char *list, int check, char *err,
                   const qos_class_row *expected);
