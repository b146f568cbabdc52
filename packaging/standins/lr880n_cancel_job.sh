#!/bin/sh
# lr880n_cancel_job
#
# Run by the network model's print filter after a job has been cancelled.
# The network printer drops a cancelled job by itself once the filter has
# stopped sending; this program records the cancellation (time and the job
# id of the filter's job-id file) in "lr880n_cancel_log" beside it, so that
# the print log's cancellations can be matched up. Always exits 0.
dir=$(dirname "$0")
job=$(cat "$dir/control/jobid_r88n" 2>/dev/null)
printf '%s job=%s cancelled\n' "$(date '+%Y-%m-%d %H:%M:%S')" "${job:-unknown}" \
  >> "$dir/lr880n_cancel_log" 2>/dev/null
exit 0
