# The real game's answer to SIGTERM while it cannot get back to its main loop: the first one is a
# request to quit, which waits for the loop, and the game runs on; the second ends it at once, by
# that signal, saying so. The game is held in its start-up by a build of the actor library that
# does not end (its sources are newer than entling.dll and the build script only sleeps), as code
# stuck in an endless loop would hold it.
set -u
GAME=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/program_folder.bash"
export ASCENDA_NO_MESSAGE_BOX=1 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
root=$APPDATA/root
mkdir -p "$root/prog" "$root/entling"
copy_program_folder "$GAME" "$root/prog"
out=$root/out.txt
game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
  [ -s "$root/build.pid" ] && kill -KILL "$(cat "$root/build.pid")" 2>/dev/null
  rm -rf "$APPDATA"
}
trap cleanup EXIT

# The library's sources, beside the program folder as the game looks for them, newer than its build.
printf '// nothing to build\n' >"$root/entling/main.kst"
touch -d "@$(($(date +%s) + 100))" "$root/entling/main.kst"
cat >"$root/entling/rebuild_dll.bat" <<EOF
echo \$\$ > "$root/build.pid"
echo "build that never ends started"
exec sleep 120
EOF

"$root/prog/game" -win -360 >"$out" 2>&1 </dev/null &
game_pid=$!
check "the game waits for the library's build" wait_for_line "$out" "build that never ends started" 60
kill -TERM "$game_pid"
sleep 0.5
check "the first SIGTERM leaves it running" kill -0 "$game_pid"
kill -TERM "$game_pid"
ended=0
for _ in $(seq 50); do
  kill -0 "$game_pid" 2>/dev/null || { ended=1; break; }
  sleep 0.1
done
check "the second SIGTERM ends it at once" [ $ended -eq 1 ]
if [ $ended -eq 1 ]; then
  wait "$game_pid"
  rc=$?
  game_pid=""
  check "by that signal (exit status 128 + 15)" [ $rc -eq 143 ]
fi
check "saying so" has_line "$out" "!!! second SIGTERM: ending at once"
[ $fails -eq 0 ] || { echo "---- its output:"; grep -v '^[-+#]' "$out" | tail -n 20; }
finish
