// One of several clients that ask for their object at the same moment:
//   client.js PROGID PORT PATH GATE COUNT
// leaves a file named as its script in the folder GATE (each client runs a
// copy of its own), waits until COUNT clients have, then
// creates the object of PROGID (once more after Wine's activation race, see
// below). For Wexlo.Downloader it downloads PATH from
// 127.0.0.1:PORT and prints "bytes:<CurSize>"; for another class "created".
// A failure prints "create 0x<number>", "call 0x<number>", "request:<result>",
// "unfinished" or "gate". Run by tests/wine/drivers/activation_at_once.sh.
var args = WScript.Arguments;
var out = "gate";
try {
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var gate = fso.GetFolder(args(3));
  fso.CreateTextFile(args(3) + "\\" + WScript.ScriptName).Close();
  var start = new Date().getTime();
  while (gate.Files.Count < Number(args(4)) && new Date().getTime() - start < 30000) {}
  if (gate.Files.Count >= Number(args(4))) {
    out = "create";
    var d;
    try {
      d = new ActiveXObject(args(0));
    } catch (e) {
      // Wine may hand this client's server to another client that asked at
      // the same moment; asking once more starts a server of its own, as
      // the guide advises.
      if ((e.number >>> 0) != 0x800a01ad) throw e;
      d = new ActiveXObject(args(0));
    }
    out = "created";
    if (args(0) == "Wexlo.Downloader") {
      d.StartUp("");
      d.Port = args(1);
      var r = d.RequestFile("127.0.0.1", args(2));
      start = new Date().getTime();
      while (r == 0 && d.Busy && new Date().getTime() - start < 30000) {}
      out = r != 0 ? "request:" + r : d.Busy ? "unfinished" : "bytes:" + d.CurSize;
      d.ShutDown();
    }
  }
} catch (e) {
  out = (out == "create" ? "create 0x" : "call 0x") + (e.number >>> 0).toString(16);
}
WScript.Echo(out);
