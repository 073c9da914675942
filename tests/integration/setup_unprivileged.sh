# The set-up as a user without root: with every package installed it finishes without asking for
# root, fetching and building Squirrel into that user's own cache and writing nothing under
# /etc/apt; with a package missing it names the package, through sudo when there is one. Run as
# root (as CI does) it makes a throw-away user for this.
set -u
. "$(dirname "$0")/common.bash"
TOOLS=$(cd "$(dirname "$0")/../../tools" && pwd)

chmod 755 "$APPDATA"
HOME_DIR=$APPDATA/home
BIN=$APPDATA/bin          # stand-ins put before the system's programs
mkdir -p "$HOME_DIR" "$BIN" "$APPDATA/repo"
cp -r "$TOOLS" "$APPDATA/repo/tools"
if [ "$(id -u)" -eq 0 ]; then
  user=ascenda-setup-$$
  useradd --no-create-home --home-dir "$HOME_DIR" --shell /bin/bash "$user" || { echo "FAIL: useradd"; exit 1; }
  trap 'userdel "$user" 2>/dev/null; rm -rf "$APPDATA"' EXIT
  chown -R "$user" "$HOME_DIR" "$APPDATA/repo"
  as_user() { runuser -u "$user" -- env -i HOME="$HOME_DIR" PATH="$BIN:/usr/bin:/bin" "$@"; }
else
  as_user() { env -i HOME="$HOME_DIR" PATH="$BIN:/usr/bin:/bin" "$@"; }
fi
check "the test user is not root" [ "$(as_user id -u)" != 0 ]

# sudo that only notes what it was asked to run.
cat >"$BIN/sudo" <<SH
#!/bin/sh
echo "\$*" >>"$APPDATA/sudo_calls"
exit 0
SH
chmod 755 "$BIN/sudo"
touch "$APPDATA/sudo_calls"
chmod 666 "$APPDATA/sudo_calls"
lists_before=$(ls /etc/apt/sources.list.d/)

as_user bash "$APPDATA/repo/tools/setup.sh" >"$APPDATA/setup.txt" 2>&1
rc=$?
check "set-up with every package present exits 0" [ $rc -eq 0 ]
[ $rc -eq 0 ] || tail -n 30 "$APPDATA/setup.txt"
check "it never asked for root" [ ! -s "$APPDATA/sudo_calls" ]
check "Squirrel is built into the user's cache" [ -f "$HOME_DIR/.cache/ascenda/squirrel3-3.1/lib/libsquirrel_static.a" ]
check "the source package came from the archive" grep -qE "got squirrel3_3\.[0-9.]+\.orig\.tar" "$APPDATA/setup.txt"
check "nothing was written under /etc/apt" [ "$(ls /etc/apt/sources.list.d/)" = "$lists_before" ]
as_user bash "$APPDATA/repo/tools/setup.sh" >"$APPDATA/again.txt" 2>&1
rc=$?
check "a second run exits 0" [ $rc -eq 0 ]
check "and does nothing" [ ! -s "$APPDATA/again.txt" ]

# One package missing (dpkg-query says so): sudo installs it when there is one...
cat >"$BIN/dpkg-query" <<'SH'
#!/bin/sh
for a; do last=$a; done
[ "$last" = xdg-utils ] && { echo "unknown ok not-installed"; exit 0; }
exec /usr/bin/dpkg-query "$@"
SH
chmod 755 "$BIN/dpkg-query"
as_user bash "$APPDATA/repo/tools/setup.sh" >"$APPDATA/missing.txt" 2>&1
check "with sudo, the missing package is installed through it" grep -q "apt-get install .*xdg-utils" "$APPDATA/sudo_calls"
# ...and without sudo the set-up stops and names it.
rm "$BIN/sudo"
if as_user sh -c 'command -v sudo' >/dev/null; then
  echo "skip: this machine has a real sudo"
else
  as_user bash "$APPDATA/repo/tools/setup.sh" >"$APPDATA/nosudo.txt" 2>&1
  check "without sudo a missing package stops the set-up" [ $? -ne 0 ]
  check "the message names the package" grep -q "xdg-utils" "$APPDATA/nosudo.txt"
  check "and says how to install it" grep -q "apt-get install --no-install-recommends xdg-utils" "$APPDATA/nosudo.txt"
  check "no 'sudo: command not found'" bash -c "! grep -q 'command not found' '$APPDATA/nosudo.txt'"
fi
finish
