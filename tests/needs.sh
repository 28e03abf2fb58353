# Sourced by the scripts that use other programs or built files:
#   needs "WHAT MAKES THEM" TOOL_OR_FILE...
# goes on when every tool is on the PATH (a path: when it exists), and else
# exits 77 (skipped), or 1 when TRELON_REQUIRE_TOOLS=1.
needs() {
  how=$1 && shift
  for tool; do
    command -v "$tool" >/dev/null || [ -e "$tool" ] && continue
    echo "SKIPPED: ${tool:-a file} is missing ($how)"
    [ "${TRELON_REQUIRE_TOOLS:-0}" = 1 ] && echo "FAILED: TRELON_REQUIRE_TOOLS=1" && exit 1
    exit 77
  done
}
