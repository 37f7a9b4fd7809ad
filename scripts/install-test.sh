#!/usr/bin/env bash
# Installs the amd64 packages from dist/ on this machine (making them with
# scripts/package.sh amd64 when missing), runs the installed gateway from
# PATH on its simulator, checks the files refer to nothing in the build tree,
# the service's user and group, the MIB and the documentation, verifies the
# systemd unit (also with the MQTT credential's drop-in), runs the installed
# gateway as the unit runs it (its user, groups, credential and paths) with
# HTTP and MQTT against a real mosquitto, and removes the packages and the
# user again (also when a check fails). Runs as root.
#   usage: scripts/install-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
# Installing, and running a program as the service's user (setpriv).
if [ "$(id -u)" -ne 0 ]; then
  echo "install-test: run as root" >&2
  exit 2
fi
scripts/apt-install.sh systemd mosquitto mosquitto-clients curl python3
arch=$(dpkg --print-architecture)
shopt -s nullglob
debs=(dist/varnok-qmr4100_*_"$arch".deb dist/qmr4100-tools_*_"$arch".deb)
if ((${#debs[@]} != 2)); then
  LINTIAN=${LINTIAN:-0} scripts/package.sh "$arch"
  debs=(dist/varnok-qmr4100_*_"$arch".deb dist/qmr4100-tools_*_"$arch".deb)
fi

# apt-get hands the files to dpkg -i; unlike dpkg alone it waits for another
# package run on the machine to finish.
apt_options=(-o DPkg::Lock::Timeout=600 -y -qq)
dropin_dir=/etc/systemd/system/qmr4100-gateway.service.d
# A purge keeps a package's system user (files may still be owned by it); the
# test made it, so the test removes it, and starts without it.
forget_user() {
  if getent passwd qmr4100 > /dev/null; then userdel qmr4100 || true; fi
  if getent group qmr4100 > /dev/null; then groupdel qmr4100 || true; fi
}
remove() {
  DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" purge \
    qmr4100-tools varnok-qmr4100 > /dev/null || true
  rm -rf "$dropin_dir" /etc/qmr4100
  forget_user
}
forget_user
trap remove EXIT
DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" install "${debs[@]/#/./}" > /dev/null

failed=0
check() {
  local what=$1
  shift
  if "$@"; then echo "install-test: $what: ok"; else echo "install-test: $what: FAILED" >&2; failed=1; fi
}

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d)
trap 'remove; rm -rf "$work"' EXIT
# A bare environment: the programs must find their plug-in and runtime alone.
run() { (cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work" "$@"); }

check "gateway on PATH is the installed one" \
  test "$(run sh -c 'command -v qmr4100-gateway')" = /usr/bin/qmr4100-gateway
check "--version of every program" \
  bash -c "[[ \$(qmr4100-gateway --version) == 'qmr4100-gateway '* && \$(qmr4100-sim --version) == 'qmr4100-sim '* &&
              \$(qmr4100ctl --version) == 'qmr4100ctl '* ]]"
check "alerting rules and dashboard in /usr/share/qmr4100" \
  test -f /usr/share/qmr4100/qmr4100-alerts.yml -a -f /usr/share/qmr4100/qmr4100-dashboard.json
check "default plug-in is the installed one" \
  bash -c "qmr4100-gateway --help | grep -q '/usr/lib/$multiarch/qmr4100/plugins/varnok_qmr4100.so'"
check "host runtime is private, found through RUNPATH" \
  bash -c "readelf -d /usr/bin/qmr4100-gateway | grep -q 'RUNPATH.*\[/usr/lib/$multiarch/qmr4100\]' &&
           test -f /usr/lib/$multiarch/qmr4100/libsmdhost.so && ! test -e /usr/lib/$multiarch/libsmdhost.so"
run qmr4100-gateway --simulate --cycles 2 > "$work/run.txt" 2>&1 || true
check "gateway --simulate --cycles 2 from PATH" grep -q "cycle 2 published" "$work/run.txt"
check "no installed file names the build tree" \
  bash -c "! dpkg -L varnok-qmr4100 qmr4100-tools | while read -r f; do [ -f \"\$f\" ] && echo \"\$f\"; done |
           xargs grep -l -F '$PWD'"
check "example configuration is a conffile" \
  bash -c "dpkg-query -W -f='\${Conffiles}' qmr4100-tools | grep -q /etc/qmr4100/gateway.json"
check "system user and group qmr4100, from the sysusers.d file" \
  bash -c "test -f /usr/lib/sysusers.d/qmr4100.conf &&
           getent passwd qmr4100 | awk -F: '\$3 < 1000 && \$7 ~ /nologin\$/ { ok = 1 } END { exit !ok }' &&
           getent group qmr4100 > /dev/null"
check "QMR4100-MIB in /usr/share/snmp/mibs, from qmr4100-tools" \
  bash -c "dpkg -S /usr/share/snmp/mibs/QMR4100-MIB.txt | grep -q '^qmr4100-tools:' &&
           grep -q 'QMR4100-MIB DEFINITIONS' /usr/share/snmp/mibs/QMR4100-MIB.txt"
check "README, copyright and changelog in /usr/share/doc/qmr4100-tools" \
  bash -c "zcat /usr/share/doc/qmr4100-tools/README.md.gz | grep -q '^## Configuration' &&
           test -f /usr/share/doc/qmr4100-tools/copyright && test -f /usr/share/doc/qmr4100-tools/changelog.gz"
check "manual page has the configuration, service and signal sections" \
  bash -c "zcat /usr/share/man/man1/qmr4100-gateway.1.gz > '$work/page' &&
           grep -q '^.SH CONFIGURATION' '$work/page' && grep -q '^.SH SERVICE' '$work/page' &&
           grep -q '^.SH SIGNALS' '$work/page'"

unit=/lib/systemd/system/qmr4100-gateway.service
# verify reports some problems (a drop-in's unknown key or bad credential name)
# only as lines; a clean unit gives none.
verify_quietly() {
  local said
  said=$(systemd-analyze verify "$unit" 2>&1) && [ -z "$said" ] && return 0
  echo "$said" >&2
  return 1
}
check "systemd-analyze verify" verify_quietly
mkdir -p "$dropin_dir"
printf '[Service]\nLoadCredential=mqtt-password:/etc/qmr4100/mqtt-password\n' \
  > "$dropin_dir/mqtt-password.conf"
check "systemd-analyze verify with the README's credential drop-in" verify_quietly
check "unit lets the gateway use IP networks" \
  bash -c "grep -q '^RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\$' '$unit' &&
           ! grep -q -e '^PrivateNetwork=' -e '^DynamicUser=' '$unit'"

# The service as systemd would start it, on a machine without systemd: the
# unit's ExecStart, User, Group, SupplementaryGroups and UMask, no privileges
# to gain and no capabilities, the credential in a directory of the user's
# and CacheDirectory= made as systemd makes them. The serial line is the
# installed simulator on a pseudo-terminal of that user.
unit_value() { sed -n "s/^$1=//p" "$unit"; }
user=$(unit_value User)
group=$(unit_value Group)
supplementary=$(getent group $(unit_value SupplementaryGroups) | cut -d: -f3 | paste -sd,)
# setpriv runs the program in its own process, so $! is the program's pid.
as_service_user=(setpriv --reuid="$user" --regid="$group" --groups="$supplementary"
  --no-new-privs --bounding-set=-all --inh-caps=-all)
pids=()
stop_all() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  pids=()
}
trap 'stop_all; remove; rm -rf "$work"' EXIT
wait_for() {  # up to 60 s for a command to succeed
  local i
  for i in $(seq 300); do "$@" 2> /dev/null && return 0; sleep 0.2; done
  return 1
}
# Two loopback ports nothing listens on, for the broker and the live page.
read -r broker_port http_port < <(python3 -c '
import socket
taken = [socket.socket() for _ in range(2)]
for s in taken: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in taken))')

chmod 0711 "$work"
mkdir "$work/broker" "$work/site" "$work/credentials" "$work/.config"
printf 'gateway:right-password\ncheck:check-password\n' > "$work/broker/passwords"
mosquitto_passwd -U "$work/broker/passwords"
printf '%s\n' "listener $broker_port 127.0.0.1" "user root" "persistence false" \
  "allow_anonymous false" "password_file $work/broker/passwords" \
  "log_dest file $work/broker/mosquitto.log" > "$work/broker/mosquitto.conf"
mosquitto -c "$work/broker/mosquitto.conf" &
pids+=($!)
# The subscriber's options, read from its HOME: no password on a command line.
printf '%s\n' "-h 127.0.0.1" "-p $broker_port" "-u check" "-P check-password" \
  > "$work/.config/mosquitto_sub"

chown "$user" "$work/site"
"${as_service_user[@]}" qmr4100-sim --link "$work/site/tty" > "$work/sim.txt" 2>&1 &
pids+=($!)
printf '%s\n' \
  "{\"devices\": [{\"port\": \"$work/site/tty\", \"data_id\": 1000, \"name\": \"install test\"}]," \
  ' "interval": 1, "cache_dir": "/var/cache/qmr4100", "record": "/var/cache/qmr4100/record.jsonl",' \
  " \"http\": \"127.0.0.1:$http_port\"," \
  " \"mqtt\": {\"url\": \"mqtt://127.0.0.1:$broker_port\", \"user\": \"gateway\"}}" \
  > /etc/qmr4100/gateway.json
install -m 0600 /dev/null /etc/qmr4100/mqtt-password
echo right-password > /etc/qmr4100/mqtt-password
# LoadCredential= copies the file into a directory only the service's user reads.
credentials=$work/credentials/qmr4100-gateway.service
install -d -m 0500 -o "$user" "$credentials"
install -m 0400 -o "$user" /etc/qmr4100/mqtt-password "$credentials/mqtt-password"
install -d -m "$(unit_value CacheDirectoryMode)" -o "$user" -g "$group" /var/cache/qmr4100

check "gateway --check-config of the service's configuration" \
  bash -c "qmr4100-gateway --check-config /etc/qmr4100/gateway.json |
           grep -q 'configuration is valid (1 device; HTTP on 127.0.0.1:$http_port, MQTT to '"
wait_for test -L "$work/site/tty" || true
service_log=$work/service.txt
read -r -a exec_start <<< "$(unit_value ExecStart)"
(
  cd /
  umask "$(unit_value UMask)"
  exec env -i PATH=/usr/bin:/bin CREDENTIALS_DIRECTORY="$credentials" \
    "${as_service_user[@]}" "${exec_start[@]}"
) > "$service_log" 2>&1 &
gateway_pid=$!
pids+=("$gateway_pid")
check "service: polls the simulator as user $user" \
  wait_for grep -q 'cycle 2 published' "$service_log"
check "service: HTTP on its configured port" \
  wait_for curl -sf "http://127.0.0.1:$http_port/healthz" -o /dev/null
check "service: MQTT logs in with the credential" \
  wait_for grep -q "MQTT: connected to mqtt://127.0.0.1:$broker_port" "$service_log"
check "service: state retained on the broker" \
  bash -c "HOME='$work' timeout 60 mosquitto_sub -t qmr4100/1000/state -C 1 -W 50 |
           grep -q '\"data_id\":1000'"
cache_owner() { test "$(stat -c %U /var/cache/qmr4100/varnok_qmr4100-1000.snapshot)" = "$user"; }
check "service: cache written by $user in the cache directory" wait_for cache_owner
kill -HUP "$gateway_pid"
polls_after_hangup() { sed -n '/SIGHUP ignored/,$p' "$service_log" | grep -q 'cycle .* published'; }
check "service: SIGHUP ignored with a line, polling goes on" wait_for polls_after_hangup
check "service: no password warning and no password in its output" \
  bash -c "! grep -q -e 'readable by every user' -e right-password '$service_log'"
kill -TERM "$gateway_pid"
status=0
wait "$gateway_pid" || status=$?
check "service: SIGTERM ends it cleanly" \
  bash -c "[ $status -eq 0 ] && grep -q 'gateway stopped: terminated' '$service_log'"
stop_all

remove
trap 'rm -rf "$work"' EXIT
check "packages and the service's user removed" \
  bash -c "! command -v qmr4100-gateway > /dev/null && ! test -e /etc/qmr4100/gateway.json &&
           ! getent passwd qmr4100 > /dev/null"
if ((failed)); then
  tail -20 "$work/run.txt" "$service_log" >&2
  exit 1
fi
echo "install-test: passed"
