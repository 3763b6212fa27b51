# Shared by the scripts that run WinVarno against the simulated exchange.
# Source it; it expects $build to name the build tree.

# start_sim SCRATCH INTERVAL: starts varno-sim with its device linked at
# SCRATCH/com1, counting a unit every INTERVAL seconds; sets sim_pid.
start_sim() {
    "$build/tools/varno-sim/varno-sim" --link "$1/com1" --charge-interval "$2" >/dev/null &
    sim_pid=$!
    for _ in $(seq 100); do [ -e "$1/com1" ] && break; sleep 0.05; done
}

# write_sim_settings FILE DEVICE: settings with COM1 at DEVICE, a price and port names.
write_sim_settings() {
    mkdir -p "$(dirname "$1")"
    cat >"$1" <<INI
[Allgemein]
Anschluß=COM1
Kosten=0,12
Wartezeit=1

[Schnittstellen]
COM1=$2

[Bezeichnungen]
21=Empfang
22=Fax
23=Büro Chef
24=Buchhaltung
25=Lager
26=Werkstatt
27=Besprechung
28=Anrufbeantworter
INI
}
