#!/usr/bin/env bash
# The command line: starting Brennet again opens the running one's options and ends with 0, a
# session manager's restart (-session ID) beside it ends quietly, of two starts at the same moment
# one runs, and an unknown argument (Qt's own too) ends with 2 and a usage message.
source "$(dirname "$0")/lib.sh"

usage=$("$BRENNET" -platform offscreen 2>&1)
status=$?
[ "$status" = 2 ] && grep -q '^usage: brennet' <<<"$usage" ||
    fail "an unknown argument should end with 2 and a usage line (got $status: $usage)"

e2e_setup
settings_write 10 0 0
brennet_start

# A session manager's restart beside the running Brennet ends quietly, without the options.
"$BRENNET" -session 10abcdef_2 >>"$E2E_DIR/brennet.log" 2>&1 || fail "-session beside a running Brennet"
sleep 1
! _options_shown || fail "a session manager's restart opened the options"
"$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 || fail "a second start should end with 0"
wait_options
[ "$(brennet_pids | wc -l)" = 1 ] || fail "more than one Brennet runs after a second start"
"$BRENNET" --options >>"$E2E_DIR/brennet.log" 2>&1 ||
    fail "brennet --options beside a running one should end with 0"
[ "$(brennet_pids | wc -l)" = 1 ] || fail "more than one Brennet runs after --options"
kill -0 "$BRENNET_PID" || fail "the first Brennet ended"

# Two starts at the same moment (no session bus here): the first is held between taking its
# socket and listening on it (strace delays listen() by 4 s) when the second looks; the second
# must hand over and end rather than take the socket too.
brennet_stop
strace -f -qq -o /dev/null -e trace=listen -e inject=listen:delay_enter=4000000 "$BRENNET" \
    >>"$E2E_DIR/brennet.log" 2>&1 &
_e2e_bg_pids+=($!)
sleep 1.5 # the first one is inside its claim by now
"$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 &
second=$!
wait_until -t 10 _gone "$second" || fail "two Brennets started at the same moment both run"
BRENNET_PID=$(brennet_pids) # the traced first one, which the end of the test stops
[ "$(wc -w <<<"$BRENNET_PID")" = 1 ] || fail "not one Brennet after two starts at the same moment"
pass "second start, session restart, simultaneous starts, bad argument"
