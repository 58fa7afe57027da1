# Shell functions the service benchmarks share; sourced, not run.

# Registers PHONE with PASSWORD: the code is asked for at URL and read from the SMS
# outbox file, the registration goes to REGISTER_URL (default URL).
register_phone() { # url outbox phone password [register_url]
  curl -s "$1/v1/smsnotify/register/$3" >/dev/null
  local code
  code=$(awk -v p="$3" '$1 == p {c = $2} END {print c}' "$2")
  curl -s -X POST "${5:-$1}/v1/register" \
    -d "{\"mobilephone\":\"$3\",\"password\":\"$4\",\"code\":\"$code\"}"
  echo
}

# Logs in at URL every phone listed in FILE (password "pw-<phone>"), prints each
# that fails, and prints how many failed.
count_failed_logins() { # url file
  local failed=0 phone reply
  while read -r phone; do
    reply=$(curl -s -X POST "$1/v1/login" -d "{\"mobilephone\":\"$phone\",\"password\":\"pw-$phone\"}")
    [[ "$reply" == *'"ret":0}' ]] || { failed=$((failed + 1)); echo "lost: $phone $reply" >&2; }
  done <"$2"
  echo "$failed"
}
