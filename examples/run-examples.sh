#!/usr/bin/env bash
# Runs the examples on simulated machines with the host build in BUILD_DIR (default build/host); given
# the built 32-bit KVISINST.DLL as well, says whether each Windows version would load it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/host}
product=${2:-}
kvsim="$build/tools/kvsim/kvsim"
[ -x "$kvsim" ] || kvsim="$build/kvsim"

echo "### Which section of examples/quillex.inf each Windows version installs"
echo
"$kvsim" sections examples/quillex.inf DefaultInstall InstallDevices UnInstallDevices

machines=$(mktemp -d "${TMPDIR:-/tmp}/kvsim-examples.XXXXXX")
trap 'rm -rf "$machines"' EXIT

for version in 2000 98; do
  machine="$machines/win$version"
  echo
  echo "### The product's services from examples/quillex.inf on simulated Windows $version"
  echo
  "$kvsim" create "$machine" "$version"
  "$kvsim" put "$machine" examples/quillex.inf 'C:\Setup\quillex.inf'
  echo
  echo "\$ kvsim call $machine SetupInstallDrivers 'C:\\Setup\\quillex.inf'"
  "$kvsim" call "$machine" SetupInstallDrivers 'C:\Setup\quillex.inf'
  echo
  "$kvsim" show "$machine"
done

echo
echo "### Removal on Windows 2000: UnInstallDevices stops and deletes the service, then the driver"
echo
"$kvsim" call "$machines/win2000" SetupUnInstallDrivers 'C:\Setup\quillex.inf'

echo
echo "### Start-menu shortcuts of AddShortcuts on Windows 2000 (common Programs) and 98 (All Users), then removed"
for version in 2000 98; do
  echo
  "$kvsim" call "$machines/win$version" InstallShortcuts 'C:\Setup\quillex.inf' 1 null
done
echo
"$kvsim" call "$machines/win2000" InstallShortcuts 'C:\Setup\quillex.inf' 0 null

echo
echo "### The reader's device nodes on Windows 98: an old one removed, a plugged-in one found"
echo
"$kvsim" device "$machines/win98" 'USB\VID_2C8F&PID_0001\5&1' 'USB\VID_2C8F&PID_0001&REV_0100,USB\VID_2C8F&PID_0001' absent
"$kvsim" device "$machines/win98" 'USB\VID_2C8F&PID_0001\5&2' 'USB\VID_2C8F&PID_0001' plugged
"$kvsim" call "$machines/win98" RemoveDevices
echo
"$kvsim" call "$machines/win98" ReEnumerateDevices

echo
echo "### An earlier edition taken off Windows 98 and 2000: CleanUp leaves its files in use to the next start"
old_file="$machines/earlier-edition-file"
echo "a file of Quillex Pro 1.0.001" >"$old_file"
for version in 98 2000; do
  machine="$machines/old$version"
  case $version in
    98) system='C:\WINDOWS\SYSTEM' ;;
    *) system='C:\WINNT\System32' ;;
  esac
  echo
  "$kvsim" create "$machine" "$version"
  # Quillex Pro 1.0.001 as its setup left the machine (examples/earlier-edition).
  "$kvsim" import "$machine" examples/earlier-edition/quillexpro-1.0.001.reg \
    "examples/earlier-edition/com-win$version.reg" >/dev/null
  count=0
  while IFS= read -r path; do
    case $path in '#'* | '') continue ;; esac
    "$kvsim" put "$machine" "$old_file" "${path//%SYSTEM%/"$system"}" >/dev/null
    count=$((count + 1))
  done <examples/earlier-edition/files.txt
  # What its controls and programs do when unregistered (the machine folder's programs.txt).
  sed "s|%SYSTEM%|${system//\\/\\\\}|" examples/earlier-edition/programs.txt >>"$machine/programs.txt"
  echo "Imported Quillex Pro 1.0.001's registry keys and put its $count files on the machine."
  echo
  echo "\$ kvsim call $machine CleanUp QUILLEXPRO103"
  "$kvsim" call "$machine" CleanUp QUILLEXPRO103
  echo
  "$kvsim" show "$machine"
  echo
  echo "\$ kvsim reboot $machine"
  "$kvsim" reboot "$machine"
  echo
  "$kvsim" show "$machine"
  echo
  echo "Files of Quillex Pro 1.0.001 still on the machine's drive C:"
  (cd "$machine/drives" && find C -type f \( -iname 'kv*' -o -iname 'qp*' -o -iname 'quillex*' \) | sed 's|/|\\|g; s|^C|  C:|' | sort)
done

# Runs kvsim with the arguments after "--", prints what it printed, and fails unless that holds each
# text before "--" (a text with a leading "!": unless it lacks the rest).
expect() {
  local texts=() output text status=0
  while [ "$1" != -- ]; do texts+=("$1"); shift; done
  shift
  output=$("$kvsim" "$@") || status=$?
  printf '%s\n' "$output"
  [ "$status" = 0 ] || { echo "run-examples.sh: kvsim $1 ended with exit status $status" >&2; exit 1; }
  for text in "${texts[@]}"; do
    if [ "${text:0:1}" = '!' ]; then
      [[ $output != *"${text:1}"* ]] || { echo "run-examples.sh: kvsim $1 said: ${text:1}" >&2; exit 1; }
    else
      [[ $output == *"$text"* ]] || { echo "run-examples.sh: kvsim $1 did not say: $text" >&2; exit 1; }
    fi
  done
}

echo
echo "### Logon hooks on Windows NT 4 with a German user: another vendor's GinaDll, and the user cancels"
echo
machine="$machines/nt4-de"
"$kvsim" create "$machine" NT4 --language de
"$kvsim" import "$machine" examples/host-and-agent/otherga.reg >/dev/null
echo "Imported examples/host-and-agent/otherga.reg: GinaDll names C:\\WINNT\\System32\\otherga.dll."
echo
echo "\$ kvsim call $machine --answer cancel UnregSystemStuff"
expect 'caption: "Warnung:"' 'GinaDll-Wert ist C:\WINNT\System32\otherga.dll' 'answer:  Cancel' 'result: 1 ' \
  'Registry changes:'$'\n''  (none)' -- call "$machine" --answer cancel UnregSystemStuff

echo
echo "### The product's host stopped on Windows 2000: WM_QUIT to each of its threads, and it ends"
echo
machine="$machines/host2000"
host='C:\Program Files\Korvane\Quillex Pro\KVHOST.exe'
agent='C:\Program Files\Korvane\Quillex Pro\KVAgent.exe'
"$kvsim" create "$machine" 2000
# The host and the agent as examples/host-and-agent describes them, each a file on drive C.
cat examples/host-and-agent/programs.txt >>"$machine/programs.txt"
echo "the product's program" >"$machines/program-file"
"$kvsim" put "$machine" "$machines/program-file" "$host" >/dev/null
"$kvsim" put "$machine" "$machines/program-file" "$agent" >/dev/null
echo
echo "\$ kvsim start $machine '$host'"
"$kvsim" start "$machine" "$host"
echo "\$ kvsim start $machine '$agent'"
"$kvsim" start "$machine" "$agent"
echo
echo "\$ kvsim call $machine StopHost null"
expect 'result: 1 (success)' 'WM_QUIT posted to thread' 'ended by itself, exit code 0' '!terminated' -- call "$machine" StopHost null
echo
expect 'KVAgent.exe' -- show "$machine"

echo
echo "### Questions about the machine: service pack, domain controller, release 1.0's logon library"
echo
machine="$machines/nt4-sp6a"
"$kvsim" create "$machine" NT4 --service-pack 6a
echo "\$ kvsim call $machine GetServicePackNumber"
expect 'result: 6 ' -- call "$machine" GetServicePackNumber
for role in primary-dc workstation; do
  machine="$machines/2000-$role"
  echo
  "$kvsim" create "$machine" 2000 --role "$role"
  echo "\$ kvsim call $machine IsDomainController"
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
echo "\$ kvsim version $machine 'C:\WINNT\System32\KVGina.dll'"
expect 'ProductVersion:    "RC 1.0.33, February 3rd, 2000"' -- version "$machine" 'C:\WINNT\System32\KVGina.dll'
echo "\$ kvsim call $machine IsVer100"
expect 'result: 1 ' -- call "$machine" IsVer100

echo
echo "### A registry key's security in SDDL: the product's tree opened to everyone for reading and deletion"
echo
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Quillex Pro]\n' >"$machines/korvane.reg"
"$kvsim" import "$machine" "$machines/korvane.reg" >/dev/null
echo "\$ kvsim security $machine 'HKEY_LOCAL_MACHINE\Software\Korvane'"
"$kvsim" security "$machine" 'HKEY_LOCAL_MACHINE\Software\Korvane'
protected='O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)'
echo "\$ kvsim security $machine 'HKEY_LOCAL_MACHINE\Software\Korvane' '$protected'"
expect " -> $protected" -- security "$machine" 'HKEY_LOCAL_MACHINE\Software\Korvane' "$protected"
echo
expect "Korvane: $protected" -- show "$machine"

if [ -n "$product" ]; then
  echo
  echo "### Would Windows 95, 98, NT 4 and 2000 load the product DLL? Its imports against what each exports"
  echo
  "$kvsim" imports "$product"
fi
