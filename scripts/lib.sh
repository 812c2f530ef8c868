# Sourced (bash) by what serves the pages through lighttpd: scripts/demo,
# scripts/demo-serve, bench/run and tests/load/run_load.sh. The port search
# and the server's configuration, once.

# port_taken PORT: whether something accepts connections on 127.0.0.1:PORT.
port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# free_port [FIRST]: prints the first port from FIRST on that nothing accepts
# on; without FIRST, a free one drawn from 20000-39999 (test and benchmark
# runs, which may run beside each other and beside a demo).
free_port() {
    local port
    if [[ -n ${1:-} ]]; then
        port=$1
        while port_taken "$port"; do port=$((port + 1)); done
    else
        port=$((20000 + RANDOM % 20000))
        while port_taken "$port"; do port=$((20000 + RANDOM % 20000)); done
    fi
    echo "$port"
}

# wait_for_port PORT [PID]: waits up to 10 s for PORT to accept; gives up
# early when process PID (the server) has ended.
wait_for_port() {
    local _
    for _ in $(seq 100); do
        port_taken "$1" && return 0
        [[ -z ${2:-} ]] || kill -0 "$2" 2>/dev/null || return 1
        sleep 0.1
    done
    port_taken "$1"
}

# lighttpd_conf PORT ERROR_LOG: the server's configuration, as the switch
# serves its pages: CGI programs and templates in /var/www, imish found on
# the PATH the stand-ins are staged on (scripts/sim-stage).
lighttpd_conf() {
    cat <<CONF
server.document-root = "/var/www"
server.bind = "127.0.0.1"
server.port = $1
server.modules = ("mod_setenv", "mod_cgi")
server.errorlog = "$2"
index-file.names = ("index.html")
mimetype.assign = (".html" => "text/html; charset=utf-8", ".css" => "text/css", ".js" => "text/javascript", ".png" => "image/png")
cgi.assign = (".cgi" => "")
# The CLI's error text reaches the error page with its line end, escaped.
server.http-parseopts = ("url-ctrls-reject" => "disable")
setenv.set-environment = ("PATH" => "/tmp/demo/bin:/usr/bin:/bin")
CONF
}
