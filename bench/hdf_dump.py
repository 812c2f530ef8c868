# gdb script: stops a page at its render and writes the data set it holds as
# a C table for the floor program, {"full.name", "value"} in the data set's
# order. What cgi_init sets from the request (CGI, HTTP, Query, Cookie) is
# left out: the floor's own cgi_init sets it from the same request.
#   gdb -batch -ex 'python dump_out = "OUT.h"' -x hdf_dump.py --args PAGE
import gdb

SET_BY_CGI_INIT = {'CGI', 'HTTP', 'Query', 'Cookie'}


def c_string(raw):
    out = []
    for b in raw:
        ch = chr(b)
        out.append(ch if 32 <= b < 127 and ch not in '"\\?' else '\\%03o' % b)
    return '"' + ''.join(out) + '"'


def text(ptr, length=None):
    inferior = gdb.selected_inferior()
    if length is not None:
        return bytes(inferior.read_memory(int(ptr), length))
    # Read up to the terminator without calling into the page: a call into
    # the inferior fails where the kernel will not let gdb restore its
    # registers. Never across a page boundary before the terminator is
    # looked for, so no read runs into unmapped memory.
    addr = int(ptr)
    out = b''
    while True:
        chunk = bytes(inferior.read_memory(addr, 4096 - addr % 4096))
        end = chunk.find(b'\0')
        if end >= 0:
            return out + chunk[:end]
        out += chunk
        addr += len(chunk)


def walk(node, prefix, rows):
    while int(node) != 0:
        name = text(node['name'], int(node['name_len']))
        full = prefix + b'.' + name if prefix else name
        if prefix or name.decode('latin-1') not in SET_BY_CGI_INIT:
            if int(node['value']) != 0:
                rows.append((full, text(node['value'])))
            walk(node['child'], full, rows)
        node = node['next']


gdb.execute('set breakpoint pending on')
gdb.execute('break cgi_display')
gdb.execute('run')
rows = []
walk(gdb.parse_and_eval('web_cgi->hdf->child'), b'', rows)
gdb.execute('kill')
with open(dump_out, 'w') as f:
    f.write('static const char *const FLOOR_VALUES[][2] = {\n')
    for name, value in rows:
        f.write('    {%s, %s},\n' % (c_string(name), c_string(value)))
    f.write('};\n')
