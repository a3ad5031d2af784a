#!/usr/bin/env bash
# Checks, on a machine with the package installed, that the desktop knows company files as a
# user's desktop would meet them: the software-centre metadata and the desktop entry are valid,
# the MIME type is known by name and by content, the thumbnailer draws the face when run as a
# file manager runs it, and bash completes the tool's commands. Needs appstream,
# desktop-file-utils, shared-mime-info, xdg-utils, libfile-mimeinfo-perl, bash-completion, file.
set -euo pipefail
id=org.example.quorvel
type=application/x-quorvel-company
fail() { echo "check-desktop: $*" >&2; exit 1; }

appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml"
desktop-file-validate "/usr/share/applications/$id.desktop"
grep -qx "MimeType=$type;" "/usr/share/applications/$id.desktop" || fail "the desktop entry does not declare $type"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A 2x2 picture, enough for a face.
printf 'P6\n2 2\n255\n\xff\x00\x00\x00\xff\x00\x00\x00\xff\xff\xff\xff' >face.ppm
quorvel-tool new -o some.company --owner "Desktop Check" --face default=face.ppm >/dev/null

# By name, and renamed: without an extension, and as the game names installed ones.
cp some.company renamed
cp some.company COMP1a.DAT
for file in some.company renamed COMP1a.DAT; do
  got=$(xdg-mime query filetype "$file")
  [ "$got" = "$type" ] || fail "xdg-mime takes $file for '$got', not $type"
done
# What a double-click runs: the editor's desktop entry, as the type's default.
opener=$(xdg-mime query default "$type")
[ "$opener" = "$id.desktop" ] || fail "xdg-mime opens $type with '$opener', not $id.desktop"
echo "xdg-mime: $type by name and by content, opened by $opener"

# The thumbnailer's Exec line with its fields filled in, as a file manager fills them.
thumbnailer=/usr/share/thumbnailers/quorvel.thumbnailer
grep -qx "MimeType=$type;" "$thumbnailer" || fail "the thumbnailer does not name $type"
exec_line=$(sed -n 's/^Exec=//p' "$thumbnailer")
command=${exec_line//%i/"'$work/renamed'"}
command=${command//%u/"'file://$work/renamed'"}
command=${command//%o/"'$work/thumb.png'"}
command=${command//%s/256}
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM sh -c "$command" >/dev/null
file thumb.png | grep -q 'PNG image data, 256 x 256' || fail "the thumbnailer wrote $(file -b thumb.png)"
echo "thumbnailer: $(file -b thumb.png)"

# Completion as bash-completion loads it on demand: registered, and "n" completes to "new".
offered=$(bash -c '
  . /usr/share/bash-completion/bash_completion
  _completion_loader quorvel-tool
  registration=$(complete -p quorvel-tool) || exit 1
  function=$(sed -n "s/.* -F \([^ ]*\) .*/\1/p" <<<"$registration")
  COMP_WORDS=(quorvel-tool n) COMP_CWORD=1 COMP_LINE="quorvel-tool n" COMP_POINT=14
  "$function" quorvel-tool n quorvel-tool
  compgen -W "${COMPREPLY[*]}" -- n')
[ "$offered" = new ] || fail "completion offers '$offered' for 'quorvel-tool n', not 'new'"
echo "completion: quorvel-tool n<Tab> gives new"
