# Sourced by the install tests: a scratch folder removed at the end, and a
# failure count. As root, zekocheck compiles and runs as unprivileged users:
# they must be able to reach what is installed there, as they do under /usr.
tmp=$(mktemp -d)
chmod 755 "$tmp"
trap 'rm -rf -- "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
unset ZEKO_WELTEN
