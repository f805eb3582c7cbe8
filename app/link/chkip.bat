#!/bin/sh
# Asks once whether the address in $1 answers an echo request, and leaves the outcome in
# "chkip.res" in the working folder: ping's own output, plus a line holding "ms TTL=" when the
# address answered (this system's ping writes "ttl=", the program looks for "ms TTL=").
out=$(ping -c 1 -W 1 "$1" 2>&1)
status=$?
printf '%s\n' "$out" > chkip.res
if [ "$status" -eq 0 ]; then
    reply=$(printf '%s\n' "$out" | grep -i 'ttl=' | head -n 1)
    if [ -n "$reply" ]; then
        ttl=$(printf '%s\n' "$reply" | sed -n 's/.*[tT][tT][lL]=\([0-9]*\).*/\1/p')
        time=$(printf '%s\n' "$reply" | sed -n 's/.*time[=<]\([0-9.]*\) *ms.*/\1/p')
        printf 'Reply from %s: time=%sms TTL=%s\n' "$1" "${time:-0}" "${ttl:-0}" >> chkip.res
    fi
fi
exit 0
