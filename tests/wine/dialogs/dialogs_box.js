// Calls one dialog method of Velmora.Browser, named by the first argument,
// and prints the result as "<type>:<value>" for the driver that answers the
// dialog (tests/wine/drivers/dialogs_boxes.sh), every character outside ASCII
// as \uXXXX, since the console's code page may not hold it. Exits 1 on a
// script error.
function ascii(value) {
  return String(value).replace(/[^\x20-\x7E]/g, function (c) {
    return "\\u" + ("000" + c.charCodeAt(0).toString(16).toUpperCase()).slice(-4);
  });
}
try {
  var browser = new ActiveXObject("Velmora.Browser");
  var method = WScript.Arguments(0);
  var result;
  if (method == "OpenBox") result = browser.OpenBox();
  else if (method == "SaveBox") result = browser.SaveBox();
  else if (method == "ColorBoxRGB") result = browser.ColorBoxRGB();
  else if (method == "ColorBoxHex") result = browser.ColorBoxHex();
  else throw new Error("unknown method " + method);
  WScript.Echo(typeof result + ":" + ascii(result));
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("error:" + e.message + " (" + e.number + ")");
  WScript.Quit(1);
}
