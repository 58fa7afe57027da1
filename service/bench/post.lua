-- POSTs one JSON body and counts the "ret" values of the answers.
-- BODY and URL path come from the environment: WRK_BODY, WRK_PATH.
wrk.method = "POST"
wrk.body = os.getenv("WRK_BODY")
wrk.path = os.getenv("WRK_PATH")
wrk.headers["Content-Type"] = "application/json;charset=UTF-8"

local threads = {}

function setup(thread)
  table.insert(threads, thread)
end

function init(args)
  rets = {}
end

function response(status, headers, body)
  local ret = string.match(body or "", '"ret":(%d+)') or ("http" .. status)
  rets[ret] = (rets[ret] or 0) + 1
end

function done(summary, latency, requests)
  local total = {}
  for _, thread in ipairs(threads) do
    local counts = thread:get("rets")
    for ret, n in pairs(counts) do
      total[ret] = (total[ret] or 0) + n
    end
  end
  for ret, n in pairs(total) do
    io.write(string.format("ret %s: %d\n", ret, n))
  end
  io.write(string.format("p99 latency: %.2f ms\n", latency:percentile(99) / 1000))
end
