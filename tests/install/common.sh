# Checks shared by the installation and package tests: run the programs
# installed under a prefix. Sourced; expects $prefix and a scratch dir $tmp.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect STATUS "TEXT" -- command...: the status and the first line of
# standard output or standard error.
expect() {
  local want=$1 text=$2 got out
  shift 3
  set +e
  out=$("$@" 2>&1 </dev/null)
  got=$?
  set -e
  [[ $got == "$want" ]] || fail "$* ended with $got, not $want: $out"
  [[ $out == "$text"* ]] || fail "$* printed: $out"
}

check_installed_programs() {
  local bin=$prefix/bin share=$prefix/share
  local prog
  for prog in tqrunner_tui tqwl2dir tqwl2db tqraport tqmanager tqstest analis_check tms_check; do
    [[ -x $bin/$prog ]] || fail "$bin/$prog missing"
    [[ -f $share/man/man1/$prog.1 ]] || fail "manual page of $prog missing"
  done
  for file in tq/tqrtui_inter.txt tq/tqraport.ini tq/tqwl2db.ini tq/schema.sql tq/pre-trans.sh tq/post-trans.sh; do
    [[ -f $share/$file ]] || fail "$share/$file missing"
  done

  [[ $("$bin/tms_check" | grep -c 'OK$') == 7 ]] || fail "tms_check"
  [[ $("$bin/analis_check" | grep -c 'OK$') == 7 ]] || fail "analis_check"
  expect 1 "tqwl2dir - program transferujacy" -- "$bin/tqwl2dir"
  expect 1 "Zla liczba argumentow" -- "$bin/tqstest"
  expect 1 "" -- "$bin/tqrunner_tui"
  expect 3 "Za mała liczba argumentów" -- "$bin/tqmanager"
  expect 3 "Za mała liczba argumentów" -- "$bin/tqraport"
  (cd "$tmp" && expect 1 "Plik konfiguracyjny nie zawiera niezbędnych danych" -- "$bin/tqwl2db" 0 1)

  # A station ships one worklog with the installed example hooks.
  local station=$tmp/station transfer=$tmp/transfer
  mkdir -p "$station/worklogs" "$transfer"
  cp "$share/tq/pre-trans.sh" "$share/tq/post-trans.sh" "$station/"
  printf '1700000000\n' >"$station/wl.set"
  printf '\010\000\001\000\001\000\000\000\003\000\000\000' >"$station/worklogs/1700000000.wl"
  (cd "$station" && "$bin/tqwl2dir" "$transfer") || fail "tqwl2dir ended with $?"
  [[ $(cat "$transfer/wl.set") == 1700000000 ]] || fail "transfer list"
  cmp -s "$station/worklogs/1700000000.wl" "$transfer/worklogs/1700000000.wl" || fail "worklog copy"

  # The management side reaches the test database.
  if [[ -n ${TQ_TEST_DB_DIR:-} && -f $TQ_TEST_DB_DIR/tqdb.ini ]]; then
    mkdir -p "$tmp/manage"
    cp "$TQ_TEST_DB_DIR/tqdb.ini" "$share/tq/tqraport.ini" "$tmp/manage/"
    (cd "$tmp/manage" && "$bin/tqmanager" get_workers >/dev/null) || fail "tqmanager get_workers"
    (cd "$tmp/manage" && "$bin/tqraport" gen_day_raport 2007-05-03 txt | grep -q '^Data: 2007-05-03$') ||
      fail "tqraport gen_day_raport"
  fi
}
