' Wexlo.Downloader at its edges from VBScript under cscript: an object whose
' default value is itself in every converted argument, twice, then a normal
' download in the same server; saves beside a file of the old temporary name,
' with names of 250 characters and onto a read-only file.

' Its default value is itself: following it never ends on its own.
Class SelfValued
  Public Default Property Get Value
    Set Value = Me
  End Property
End Class

Sub WriteText(fso, path, text)
  Dim stream: Set stream = fso.CreateTextFile(path, True)
  stream.Write text
  stream.Close
End Sub

' Each member with the object in each of its converted arguments.
Sub CallWithSelf(d, o, round)
  Dim server, path, r
  On Error Resume Next
  path = "/x"
  r = d.RequestFile(o, path)
  Check Err.Number <> 0, "RequestFile(self, path) round " & round & " gave " & r
  Err.Clear
  server = "127.0.0.1"
  r = d.RequestFile(server, o)
  Check Err.Number <> 0, "RequestFile(server, self) round " & round & " gave " & r
  Err.Clear
  r = d.WriteTextFile(o, True)
  Check Err.Number = 0 And r = 2, "WriteTextFile(self, True) round " & round & ": " & r
  Err.Clear
  r = d.WriteBinaryFile(o, True)
  Check Err.Number = 0 And r = 2, "WriteBinaryFile(self, True) round " & round & ": " & r
  Err.Clear
  r = d.WriteTextFile("unused.txt", o)
  Check Err.Number = 0 And r = 2, "WriteTextFile(path, self) round " & round & ": " & r
  Err.Clear
  r = d.FormatCurRSS(o, o)
  Check Err.Number = 0 And r = "", "FormatCurRSS(self, self) round " & round
  Err.Clear
  d.Port = o
  Check Err.Number = 0, "Port = self round " & round
  Err.Clear
End Sub

Function Main()
  Dim shell, fso, port, folder, d, o, r, target, stranger, longName, readOnly, before
  Set shell = CreateObject("WScript.Shell")
  Set fso = CreateObject("Scripting.FileSystemObject")
  port = Environment(shell, "WEX_HTTP_PORT")

  Set d = CreateObject("Wexlo.Downloader")
  ' Before StartUp no socket is made, whatever else in the server started the
  ' socket library (the security libraries may as they load).
  before = "/x"
  Check d.RequestFile("127.0.0.1", before) = 109, "RequestFile before StartUp"
  Check before = "Winsock error - Failed to create socket. Error number:10093", "its text: " & before
  Check d.StartUp("") = 0, "StartUp"
  d.Port = port
  Set o = New SelfValued
  CallWithSelf d, o, 1
  CallWithSelf d, o, 2

  ' The same server still works.
  d.Port = port
  Check d.RequestFile("127.0.0.1", "/garden.xml") = 0, "RequestFile garden.xml"
  Check WaitUntilIdle(d), "garden.xml finished"
  Check d.CurSize > 0, "CurSize " & d.CurSize
  Check d.FormatCurRSS(o, True) = "<H2>Garden Notes</H2>", "FormatCurRSS(self, True)"

  ' A short folder keeps the long names within the path limit.
  folder = "C:\wexlo-vbs"
  If Not fso.FolderExists(folder) Then fso.CreateFolder folder

  target = folder & "\news.xml"
  stranger = target & ".wexlo-tmp"
  WriteText fso, target, "old"
  WriteText fso, stranger, "a stranger's file"
  Check d.WriteBinaryFile(target, True) = 0, "WriteBinaryFile beside the old temporary name"
  Check fso.GetFile(target).Size = d.CurSize, "replaced size " & fso.GetFile(target).Size
  Check ReadAll(fso, stranger) = "a stranger's file", "the stranger's file"
  fso.DeleteFile stranger
  fso.DeleteFile target

  longName = folder & "\" & String(246, "n") & ".xml"
  Check d.WriteTextFile(longName, True) = 0, "a 250-character name, new"
  Check d.WriteTextFile(longName, True) = 0, "a 250-character name, replaced"
  Check d.WriteBinaryFile(longName, True) = 0, "a 250-character name, replaced as binary"
  Check fso.GetFile(longName).Size = d.CurSize, "250-character file size"
  fso.DeleteFile longName

  ' A NUL would end the path in every file call: "kept.txt" is not touched.
  readOnly = folder & "\kept.txt"
  WriteText fso, readOnly, "old"
  Check d.WriteBinaryFile(readOnly & Chr(0) & ".xml", True) = 3, "WriteBinaryFile with a NUL"
  Check d.WriteTextFile(readOnly & Chr(0) & ".xml", True) = 3, "WriteTextFile with a NUL"
  Check ReadAll(fso, readOnly) = "old", "the file before the NUL"

  fso.GetFile(readOnly).Attributes = 1
  Check d.WriteTextFile(readOnly, True) = 3, "WriteTextFile onto a read-only file"
  Check d.WriteBinaryFile(readOnly, True) = 3, "WriteBinaryFile onto a read-only file"
  Check ReadAll(fso, readOnly) = "old", "read-only file content"
  Check (fso.GetFile(readOnly).Attributes And 1) = 1, "read-only attribute kept"
  fso.GetFile(readOnly).Attributes = 0
  fso.DeleteFile readOnly

  Check fso.GetFolder(folder).Files.Count = 0, "files left: " & fso.GetFolder(folder).Files.Count
  fso.DeleteFolder folder
  d.ShutDown
  Main = failures
End Function

On Error Resume Next
Dim rc: rc = Main()
If Err.Number <> 0 Then
  WScript.Echo "FAIL uncaught: " & Err.Description & " (" & Err.Number & ")"
  rc = 1
End If
WScript.Quit rc
