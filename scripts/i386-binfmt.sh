#!/usr/bin/env bash
# Lets this kernel run 32-bit x86 programs through qemu-i386 where it cannot run them itself: a
# binfmt_misc rule for i386 ELF executables naming the emulator, opened now (flag F) so that it
# also works inside mount namespaces. Does nothing when such a rule exists already.
# Usage: scripts/i386-binfmt.sh EMULATOR   (root; the rule lasts until the next boot)
set -euo pipefail
emulator=${1:?usage: $0 EMULATOR}
rules=/proc/sys/fs/binfmt_misc
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ! -e "$rules/register" ]; then
  $sudo mount -t binfmt_misc binfmt_misc "$rules"
fi
for rule in "$rules"/*; do
  [ -f "$rule" ] && [ "$(basename "$rule")" != register ] && [ "$(basename "$rule")" != status ] ||
    continue
  if grep -qx enabled "$rule" && grep -q '^interpreter .*qemu-i386' "$rule"; then
    echo "32-bit x86 programs run through $(sed -n 's/^interpreter //p' "$rule") ($rule)"
    exit 0
  fi
done
# The ELF header of an i386 executable: magic, 32-bit class, little-endian, version 1, any OS ABI,
# executable or shared object (position-independent programs), machine 3 (EM_386).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xff\xff\x00\x00\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo "registering $emulator with the kernel (binfmt_misc rule velmo-i386) for 32-bit x86 programs"
echo ":velmo-i386:M::$magic:$mask:$emulator:F" | $sudo tee "$rules/register" >/dev/null
