// Sets Port to the text given as the second argument and asks the local
// server for /index.html; prints "request:<result>". The text is read in the
// user's locale. Run by tests/wine/drivers/wexlo_edges.sh.
var port = WScript.Arguments(0);
var d = new ActiveXObject("Wexlo.Downloader");
var out = "error";
try {
  d.StartUp("");
  d.Port = WScript.Arguments(1);
  var r = d.RequestFile("127.0.0.1", "/index.html");
  var start = new Date().getTime();
  while (d.Busy && new Date().getTime() - start < 20000) {}
  out = "request:" + r;
  d.ShutDown();
} catch (e) {
  out = "error 0x" + (e.number >>> 0).toString(16) + " " + e.description;
}
WScript.Echo(out);
