"""Medians and ratios of the rounds scripts/bench recorded: lines of
"ROUND NAME SECONDS [BYTES]"; prints each goal beside its anchor."""
import statistics
import sys

BODY = 64 << 20
figures = {}
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) < 3:
        continue
    name = parts[1]
    # The receive loops count the response head as well.
    if name == "failed" or (len(parts) > 3 and not name.endswith("_kib") and
                            not BODY <= int(parts[3]) < BODY + 4096):
        sys.exit("a download failed: " + line.strip())
    if name in ("bytes", "bytes_https") and int(parts[2]) != BODY:
        sys.exit("Wexlo.exe received %s bytes (%s)" % (parts[2], name))
    try:
        figures.setdefault(name, []).append(float(parts[2]))
    except ValueError:
        pass
m = {name: statistics.median(values) for name, values in figures.items()}


def row(label, seconds, note=""):
    print("%-40s %8.3f s  %s" % (label, seconds, note))


row("curl writing to memory", m["curl_memory"])
row("native engine", m["engine"], "ratio %.2f to curl (goal <= 1.3)" % (m["engine"] / m["curl_memory"]))
peak = max(figures["engine_peak_kib"]) / 1024
print("%-40s %8.1f MiB (goal <= %.1f MiB)" % ("native engine peak memory", peak, 1.2 * 64 + 16))
row("native engine without huge pages", m["engine_small_pages"],
    "ratio %.2f to curl (PR_SET_THP_DISABLE; %.1f MiB in huge pages)"
    % (m["engine_small_pages"] / m["curl_memory"], max(figures["engine_small_pages_huge_kib"]) / 1024))
huge = figures.get("engine_huge_kib", [-1])
print("%-40s %8.1f MiB %s" % ("native engine body in huge pages", min(huge) / 1024,
      "(none granted)" if max(huge) <= 0 else "(fewest in a round; most %.1f MiB)" % (max(huge) / 1024)))
f64, f8 = m["floor_65536"], m["floor_8192"]
row("Wine: blocking 65536-byte receive loop", f64)
row("Wine: blocking 8192-byte receive loop", f8)
for key, label in (("events", "Wexlo.exe, event client"), ("polling", "Wexlo.exe, polling JScript")):
    row(label, m[key], "ratio %.2f to the 65536-byte loop (goal <= 2.0), %.1fx faster than WinHTTP (goal >= 5)"
        % (m[key] / f64, m["winhttp"] / m[key]))
row("WinHTTP request object", m["winhttp"])
row("1 KB download from JScript", m["small"])
if "small_baseline" in m:
    row("1 KB download, baseline Wexlo.exe", m["small_baseline"],
        "new/baseline %.2f (goal <= 0.6)" % (m["small"] / m["small_baseline"]))
row("server activation", m["activation"],
    "ratio %.2f to a minimal out-of-process server" % (m["activation"] / m["activation_minimal"]))
row("minimal server activation", m["activation_minimal"])

print("HTTPS (TLS through the platform's security package under Wine)")
row("curl over HTTPS writing to memory", m["curl_https"])
tls = m["tls_floor"]
row("Wine: blocking 65536-byte DecryptMessage loop", tls, "ratio %.2f to curl over HTTPS" % (tls / m["curl_https"]))
for key, plain, label in (("events_https", "events", "Wexlo.exe over HTTPS, event client"),
                          ("polling_https", "polling", "Wexlo.exe over HTTPS, polling JScript")):
    row(label, m[key], "ratio %.2f to the TLS loop, %.2f to plain HTTP, %.1fx faster than WinHTTP over HTTPS"
        % (m[key] / tls, m[key] / m[plain], m["winhttp_https"] / m[key]))
row("WinHTTP request object over HTTPS", m["winhttp_https"])
