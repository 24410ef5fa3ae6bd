#!/usr/bin/env bash
# Stands in for the user's web browser under Wine: records each URL the shell opens.
printf '%s\n' "$*" >>"${TAVAREN_URL_LOG:-/tmp/tavaren-urls.log}"
