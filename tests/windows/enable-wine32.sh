#!/bin/sh
# Lets this machine run 32-bit x86 programs, and with them the 32-bit Wine that runs the DLL's
# tests, where the kernel cannot run them itself: registers qemu's user-mode emulator (package
# qemu-user, version 10 or later; Debian 12 has it in bookworm-backports) with the kernel's
# binfmt_misc for i386 ELF programs. Needs root. The registration is for the whole machine and
# lasts until reboot; running this again is harmless.
set -eu

entry=/proc/sys/fs/binfmt_misc/qemu-i386
interpreter=/usr/libexec/qemu-binfmt/i386-binfmt-P
[ -x "$interpreter" ] || interpreter=/usr/bin/qemu-i386

if [ "$(id -u)" != 0 ]; then
  echo "enable-wine32.sh: needs root (sudo $0)" >&2
  exit 1
fi
if ! [ -x "$interpreter" ]; then
  echo "enable-wine32.sh: no qemu-i386: apt-get install -t bookworm-backports qemu-user" >&2
  exit 1
fi
if ! [ -e /proc/sys/fs/binfmt_misc/register ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ -e "$entry" ]; then
  echo "enable-wine32.sh: i386 programs already run through $(sed -n 's/^interpreter //p' "$entry")"
  exit 0
fi
# The ELF header of an i386 executable or shared object, as qemu's own binfmt files give it.
# Flags: O opens the program for the emulator, P keeps argv[0], F loads the emulator now, so
# that it also works inside containers and chroots.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf '%s\n' ":qemu-i386:M::$magic:$mask:$interpreter:OPF" >/proc/sys/fs/binfmt_misc/register
echo "enable-wine32.sh: i386 programs now run through $interpreter"
