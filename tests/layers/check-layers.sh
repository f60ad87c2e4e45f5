#!/bin/sh
# The direction of dependencies, read from the includes: pages know the host,
# never the window or each other; nothing below the front ends includes them;
# the simulator knows the codec and the port interface only.
src="$1/src"
status=0
complain() { echo "$1"; status=1; }

pages="AlarmPage CalibrationPage ControllerConfigPage ControllerStatusPage ControllerUpdatePage
       DensityPage DiagramPage SensorPropertiesPage SensorUpdatePage StatusPages"
# Parts of one page live in files of their own (part:owner).
parts="PlacesTabs:SensorPropertiesPage SensorDatabases:SensorPropertiesPage
       SensorPropertiesRecord:SensorPropertiesPage FirmwarePageParts:- SnapshotMenu:-"

for entry in $pages $parts; do
    f=${entry%%:*}
    owner=${entry#*:}
    for file in "$src/ui/$f.h" "$src/ui/$f.cpp"; do
        [ -f "$file" ] || continue
        grep -q '#include "ui/TMForm.h"' "$file" && complain "$file includes the window"
        for other in $pages; do
            [ "$other" = "$f" ] || [ "$other" = "$owner" ] && continue
            grep -q "#include \"ui/$other.h\"" "$file" && complain "$file includes the page $other"
        done
    done
done

# The window reaches the pages through what they registered, and builds them
# in the page stack; it names none of them (the status pages, which share
# its poll timer, apart).
for file in "$src"/ui/TMForm*; do
    for page in $pages; do
        [ "$page" = StatusPages ] && continue
        grep -q "#include \"ui/$page.h\"" "$file" && complain "$file names the page $page"
    done
done

for dir in "$src"/*/; do
    name=$(basename "$dir")
    case $name in ui|cli) continue ;; esac
    grep -ln '#include "\(ui\|cli\)/' "$dir"* 2>/dev/null | while read -r file; do
        echo "$file includes a front end"
    done | grep . && status=1
done

# The frames, the port and the recording format are shared: the simulator
# replays what the tool recorded.
grep -h '#include "' "$src"/sim/* | grep -v '"sim/' |
    grep -v '"link/FrameCodec.h"\|"link/PortDevice.h"\|"app/FileReader.h"\|"link/LineRecording.h"' |
    grep . &&
    complain "the simulator includes the tool (above)"

[ $status -eq 0 ] && echo "layers: every include points the allowed way"
exit $status
