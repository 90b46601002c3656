// The suite scripts' shared start; the runner puts it before each script, as
// cscript has no include.
var failures = 0;

function check(ok, what) {
  if (!ok) {
    WScript.Echo("FAIL " + what);
    failures++;
  }
}

// Polls Busy, as scripts without event binding do; false after 20 s.
function waitUntilIdle(d) {
  var start = new Date().getTime();
  while (d.Busy) {
    if (new Date().getTime() - start > 20000) return false;
  }
  return true;
}

function readFile(fso, path) {
  var stream = fso.OpenTextFile(path, 1);
  var text = stream.AtEndOfStream ? "" : stream.ReadAll();
  stream.Close();
  return text;
}

// Wine's ExpandEnvironmentStrings leaves the terminating NUL in the string.
function environment(shell, name) {
  return shell.ExpandEnvironmentStrings("%" + name + "%").replace(/\0/g, "");
}

// The call's result, or the automation error it raised as text.
function attempt(call) {
  try {
    return call();
  } catch (e) {
    return "error 0x" + (e.number >>> 0).toString(16) + " " + e.description;
  }
}

// Runs main and ends the script with its failure count; an uncaught error fails.
function finish(main) {
  var rc;
  try {
    rc = main();
  } catch (e) {
    WScript.Echo("FAIL uncaught: " + e.description + " (0x" + (e.number >>> 0).toString(16) + ")");
    rc = 1;
  }
  WScript.Quit(rc);
}
