#!/usr/bin/env bash
# The main job: Quillex Pro's whole life on simulated Windows 98 and 2000 machines, run by kvsim with the
# host build in BUILD_DIR (default build/host). On each machine an earlier edition is installed and its
# host runs; setup installs release 1.0.4 from examples/product with InstallFromINF (the running host's
# file is replaced at the restart); the machine restarts; a queued installation is drained through
# rundll32 and VoidInstallUninstall; a queued removal takes the product off again. Then the other
# exports' examples. VERSIONS="95 NT4" (or "95 98 NT4 2000") runs the life on other versions. Given the
# built 32-bit KVISINST.DLL as well, says whether each Windows version would load it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/host}
product=${2:-}
versions=${VERSIONS:-98 2000}
kvsim="$build/tools/kvsim/kvsim"
[ -x "$kvsim" ] || kvsim="$build/kvsim"

machines=$(mktemp -d "${TMPDIR:-/tmp}/kvsim-examples.XXXXXX")
trap 'rm -rf "$machines"' EXIT

# Prints kvsim's output with each run of more than three alike lines about files that are not there
# (scheduled for deletion all the same, as the library does) cut to its first two.
brief() {
  awk '
    function kind(line) {
      if (line ~ /\(source not found\)$/) return "pending"
      if (line ~ /: not found$/) return "restart"
      if (line ~ /skipped at boot: not a full path|wininit: skipped "NUL=/) return "wininit"
      return ""
    }
    function flush() { if (run > 2) printf "  ... and %d more such lines\n", run - 2; run = 0; last = "" }
    { k = kind($0); if (k == "" || k != last) flush(); if (k != "") { last = k; if (++run > 2) next } print }
    END { flush() }'
}

# Runs kvsim with the arguments after "--", prints what it printed (shown as its command line first),
# and fails unless that holds each text before "--" (a text with a leading "!": unless it lacks it).
expect() {
  local texts=() output text status=0
  while [ "$1" != -- ]; do texts+=("$1"); shift; done
  shift
  echo "\$ kvsim $*"
  output=$("$kvsim" "$@") || status=$?
  printf '%s\n' "$output" | brief
  [ "$status" = 0 ] || { echo "run-examples.sh: kvsim $1 ended with exit status $status" >&2; exit 1; }
  for text in "${texts[@]}"; do
    if [ "${text:0:1}" = '!' ]; then
      [[ $output != *"${text:1}"* ]] || { echo "run-examples.sh: kvsim $1 said: ${text:1}" >&2; exit 1; }
    else
      [[ $output == *"$text"* ]] || { echo "run-examples.sh: kvsim $1 did not say: $text" >&2; exit 1; }
    fi
  done
}

# kvsim without its output, for the set-up steps the text around it tells.
quiet() { "$kvsim" "$@" >/dev/null; }

echo "### Which section of examples/product/quillex.inf each Windows version installs"
echo
"$kvsim" sections examples/product/quillex.inf DefaultInstall DefaultUninstall InstallDevices

folder='C:\Program Files\Korvane\Quillex Pro'
host="$folder\\KVHOST.exe"
agent="$folder\\KVAgent.exe"
void_install='KVISINST.DLL,?VoidInstallUninstall@@YGXPAUHWND__@@PAUHINSTANCE__@@PAGH@Z'
echo "a file of Quillex Pro 1.0.001" >"$machines/earlier-edition-file"

for version in $versions; do
  machine="$machines/win$version"
  case $version in
    95 | 98) system='C:\WINDOWS\SYSTEM' com=98 nt= ;;&
    # Windows 95 without user profiles has no common Programs folder (no shortcuts there), nor
    # cfgmgr32.dll (the product's support library has the reader found). NT 4 keeps its device nodes
    # and has no cfgmgr32.dll either.
    95) links= ;;
    98) links=1 ;;
    *) system='C:\WINNT\System32' com=2000 nt=1 links=1 ;;
  esac
  echo
  echo "### Windows $version: Quillex Pro 1.0.001 installed, its host running from its install folder"
  echo
  "$kvsim" create "$machine" "$version"
  quiet import "$machine" examples/earlier-edition/quillexpro-1.0.001.reg "examples/earlier-edition/com-win$com.reg"
  # Its files, gathered by folder and put there with one kvsim put a folder.
  declare -A staged=()
  count=0
  while IFS= read -r path; do
    case $path in '#'* | '') continue ;; esac
    path=${path//%SYSTEM%/"$system"}
    dir=${path%\\*}
    if [ -z "${staged[$dir]:-}" ]; then
      staged[$dir]="$machines/stage$version-${#staged[@]}"
      mkdir "${staged[$dir]}"
    fi
    cp "$machines/earlier-edition-file" "${staged[$dir]}/${path##*\\}"
    count=$((count + 1))
  done <examples/earlier-edition/files.txt
  for dir in "${!staged[@]}"; do quiet put "$machine" "${staged[$dir]}"/* "$dir\\"; done
  unset staged
  # What the earlier edition's and the product's programs do (the machine folder's programs.txt).
  sed "s|%SYSTEM%|${system//\\/\\\\}|" examples/earlier-edition/programs.txt >>"$machine/programs.txt"
  cat examples/host-and-agent/programs.txt examples/product/programs.txt >>"$machine/programs.txt"
  # The reader as Windows remembers it from 1.0.001, unplugged now.
  quiet device "$machine" 'USB\VID_2C8F&PID_0001\5&1' 'USB\VID_2C8F&PID_0001&REV_0100,USB\VID_2C8F&PID_0001' absent
  echo "Imported its registry keys (examples/earlier-edition), put its $count files on drive C, and left"
  echo "a node of its reader, not plugged in, in the device tree."
  echo "\$ kvsim start $machine '$host'"
  "$kvsim" start "$machine" "$host"

  echo
  echo "### Windows $version: setup installs Quillex Pro 1.0.4 from C:\\Setup with InstallFromINF"
  echo
  quiet put "$machine" examples/product/quillex.inf examples/product/kv*
  echo "Copied examples/product (quillex.inf and its source files) to C:\\Setup."
  # The earlier edition's files and keys go (their files at the restart), the new files come, the host's
  # file in use waits for the restart, runonce runs the enrollment wizard, services and shortcuts come.
  expect 'result: 0x00000001' "created  $folder\\SET1.TMP" \
    "$([ "$version" = NT4 ] && echo 'Device changes:'$'\n''  (none)' || echo 'removed  USB\VID_2C8F&PID_0001\5&1')" \
    '[-HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Quillex Pro]' 'kvenroll.exe" /firstrun' \
    ${links:+'Enroll Fingerprints.lnk'} ${nt:+'KVService            started'} \
    "$([ -n "$nt" ] && echo "SET1.TMP -> $host" || echo 'QUILLE~1\KVHOST.exe=C:\PROGRA~1\Korvane\QUILLE~1\SET1.TMP')" \
    -- call "$machine" InstallFromINF quillex.inf 1 'C:\Setup' null null null

  echo
  expect 'renamed' "$([ -n "$nt" ] && echo 'removed the registry value PendingFileRenameOperations' || echo 'WININIT.BAK')" \
    -- reboot "$machine"

  echo
  echo "### Windows $version: an installation queued in the registry, drained by rundll32 at the next logon"
  echo
  echo "The user logs on: the host starts again from the Run key, the reader is plugged in."
  quiet start "$machine" "$host"
  quiet device "$machine" 'USB\VID_2C8F&PID_0001\6&1' 'USB\VID_2C8F&PID_0001&REV_0104,USB\VID_2C8F&PID_0001' plugged
  expect '"req1"="quillex.inf,C:\\Setup,DefaultInstall"' -- \
    set "$machine" 'HKEY_LOCAL_MACHINE\Software\Korvane\Install\Add' req1 REG_SZ 'quillex.inf,C:\Setup,DefaultInstall'
  echo
  # Remove queue empty, then the Add queue: InstallFromINF returns 1 (the host's file again), so the
  # reboot flag is set; the devices are re-enumerated and the installed product's remote test runs.
  expect "$([ -n "$nt" ] && echo '?VoidInstallUninstall@@YGXPAUHWND__@@PAUHINSTANCE__@@PAGH@Z (found)' || echo '(found)')" \
    'NeedReboot() says 1' '"req1"=-' 'KVQuillexRemoteTest called' \
    "$(case $version in 95) echo 'BuildDriverDataBase(1) called' ;; NT4) echo 'NeedReboot' ;;
        *) echo 'found    USB\VID_2C8F&PID_0001\6&1' ;; esac)" \
    '!Add\Failed' -- rundll32 "$machine" "$void_install"
  echo
  echo "\$ kvsim reboot $machine"
  quiet reboot "$machine"
  echo "(the host's file replaced again)"

  echo
  echo "### Windows $version: a removal queued, nothing to install: a pure uninstall"
  echo
  echo "The user logs on: the host and the agent run."
  quiet start "$machine" "$host"
  quiet start "$machine" "$agent"
  expect 'DefaultUninstall' -- \
    set "$machine" 'HKEY_LOCAL_MACHINE\Software\Korvane\Install\Remove' req1 REG_SZ 'quillex.inf,C:\Setup,DefaultUninstall'
  echo
  # The logon integration goes first and the agent is asked to close; the services, files and shortcuts
  # go (the running host's file at the restart); the whole Software\Korvane tree goes last.
  # On 2000 the tree is opened to everyone, then deleted (the administrator cannot give it to SYSTEM: the
  # owner stays BA); on NT 4 without Internet Explorer's SHLWAPI.DLL it can only be opened, not deleted.
  expect 'resolved to its exported name' 'posted WM_CLOSE' \
    "$([ "$version" = NT4 ] && echo 'SOFTWARE\Korvane: O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD) -> O:BAG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)' ||
      echo '[-HKEY_LOCAL_MACHINE\SOFTWARE\Korvane]')" \
    "$([ -n "$nt" ] && [ "$version" != NT4 ] && echo '(A;;0x30019;;;WD) -> (key removed)' || echo 'Korvane')" \
    "$([ -n "$nt" ] && echo '"GinaDLL"=-' || echo 'CurrentControlSet\Services\KVNP32]')" \
    "$([ -n "$nt" ] && echo 'KVService            deleted' || echo '"KVNP32"=-')" \
    "deleted  $folder\\kvtest.dll" 'NeedReboot() says 1' -- rundll32 "$machine" KVISINST.DLL,VoidInstallUninstall
  echo
  expect 'Services:'$'\n''  (none)' 'Shortcuts:'$'\n''  (none)' -- show "$machine"
done

echo
echo "### Logon hooks on Windows NT 4 with a German user: another vendor's GinaDll, and the user cancels"
echo
machine="$machines/nt4-de"
"$kvsim" create "$machine" NT4 --language de
quiet import "$machine" examples/host-and-agent/otherga.reg
echo "Imported examples/host-and-agent/otherga.reg: GinaDll names C:\\WINNT\\System32\\otherga.dll."
echo
expect 'caption: "Warnung:"' 'GinaDll-Wert ist C:\WINNT\System32\otherga.dll' 'answer:  Cancel' 'result: 1 ' \
  'Registry changes:'$'\n''  (none)' -- call "$machine" --answer cancel UnregSystemStuff

echo
echo "### The product's host stopped on Windows 2000: WM_QUIT to each of its threads, and it ends"
echo
machine="$machines/host2000"
"$kvsim" create "$machine" 2000
cat examples/host-and-agent/programs.txt >>"$machine/programs.txt"
quiet put "$machine" "$machines/earlier-edition-file" "$host"
quiet start "$machine" "$host"
echo "Started $host (examples/host-and-agent/programs.txt)."
echo
expect 'result: 1 (success)' 'WM_QUIT posted to thread' 'ended by itself, exit code 0' '!terminated' -- call "$machine" StopHost null

echo
echo "### Questions about the machine: service pack, domain controller, release 1.0's logon library"
echo
machine="$machines/nt4-sp6a"
"$kvsim" create "$machine" NT4 --service-pack 6a
expect 'result: 6 ' -- call "$machine" GetServicePackNumber
for role in primary-dc workstation; do
  machine="$machines/2000-$role"
  echo
  "$kvsim" create "$machine" 2000 --role "$role"
  case $role in
    primary-dc) expect 'result: 1 ' -- call "$machine" IsDomainController ;;
    *) expect 'result: 0 ' -- call "$machine" IsDomainController ;;
  esac
done
# A stand-in KVGina.dll of release 1.0: examples/kvgina's version resource on an entry point, built now.
echo
# The compiler as mingw's win32 packages name it, with or without the alternatives link.
cc=$(command -v i686-w64-mingw32-gcc || command -v i686-w64-mingw32-gcc-win32)
i686-w64-mingw32-windres --preprocessor="$cc" --preprocessor-arg=-E --preprocessor-arg=-xc \
  --preprocessor-arg=-DRC_INVOKED examples/kvgina/KVGina.rc -O coff -o "$machines/kvgina.res.o"
"$cc" -shared -nostdlib -Wl,-e,_DllMainCRTStartup@12 -o "$machines/KVGina.dll" \
  examples/kvgina/kvgina.c "$machines/kvgina.res.o"
"$kvsim" put "$machine" "$machines/KVGina.dll" 'C:\WINNT\System32\KVGina.dll'
expect 'ProductVersion:    "RC 1.0.33, February 3rd, 2000"' -- version "$machine" 'C:\WINNT\System32\KVGina.dll'
expect 'result: 1 ' -- call "$machine" IsVer100

echo
echo "### A registry key's security in SDDL: the product's tree opened to everyone for reading and deletion"
echo
quiet set "$machine" 'HKEY_LOCAL_MACHINE\Software\Korvane\Quillex Pro' REG_SZ ''
protected='O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)'
expect " -> $protected" -- security "$machine" 'HKEY_LOCAL_MACHINE\Software\Korvane' "$protected"

if [ -n "$product" ]; then
  echo
  echo "### Would Windows 95, 98, NT 4 and 2000 load the product DLL? Its imports against what each exports"
  echo
  "$kvsim" imports "$product"
fi
