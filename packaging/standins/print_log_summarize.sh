#!/bin/sh
# lr880_print_log_summarize / lr880n_print_log_summarize
#
# Run by the print filter after every entry it appends to the model's print
# log (the log lies beside this program: lr880_print_log or lr880n_print_log).
# Adds up the log into "<log>_summary" beside it: jobs, pages, cancelled
# jobs, and the last job's end time and printer state. Always exits 0: the
# filter does not look at the result.
dir=$(dirname "$0")
name=$(basename "$0" _summarize)
log="$dir/$name"
summary="$dir/${name}_summary"
[ -r "$log" ] || exit 0

awk '
  /^PageNum=/        { jobs++; n = $0; sub(/^PageNum=/, "", n); sub(/;.*/, "", n); pages += n }
  /^EndTime:/        { last = $0; sub(/^EndTime:/, "", last) }
  /^PrinterState=/   { state = $0; sub(/^PrinterState=/, "", state); sub(/;$/, "", state) }
  /^Print Job Canceled/ { cancelled++ }
  END {
    printf "Jobs=%d;\nPages=%d;\nCancelled=%d;\nLastEndTime=%s;\nLastPrinterState=%s;\n",
           jobs, pages, cancelled, last, state
  }' "$log" > "$summary.tmp" 2>/dev/null && mv -f "$summary.tmp" "$summary" 2>/dev/null
rm -f "$summary.tmp" 2>/dev/null
exit 0
