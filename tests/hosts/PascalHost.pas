{ A Free Pascal host (fpc -Mdelphi), as a station's program written in Pascal
  sees the library: it loads libqx25.so by its path, takes the driver's
  operations by their number in the table, and checks them against qx25-sim.

    PascalHost slots LIBRARY LINE   a delivery through the table's slots
    PascalHost c LIBRARY LINE       the same through the C interface
    PascalHost table LIBRARY LINE   each of the 27 slots is the operation of
                                    its number: its effect on the line (the
                                    driver's log names every request) or its
                                    result

  Exits 0 when every check held, 1 otherwise, saying which on stdout. }
program PascalHost;

uses
  SysUtils, Math, DynLibs, BaseUnix;

type
  PDriverInfo = ^TDriverInfo;
  TDriverInfo = packed record
    Length: Byte;
    Text: array[0..26] of AnsiChar;
  end;
  TNozzlePoll = packed record
    State, EventLetter: Byte;
    Codes: array[0..3] of Word;
    NotWritten: array[0..3] of Byte;
    StateSide, Zero: Byte;
  end;
  PNozzlePoll = ^TNozzlePoll;

  // The slots: the object first, then the arguments (the C ABI on x86-64
  // Linux). A record returned in memory takes a hidden pointer before the
  // object; TNozzlePoll (16 bytes) comes back in registers.
  TSlotVoid = procedure(Self: Pointer); cdecl;
  TSlotInfo = procedure(Result: PDriverInfo; Self: Pointer); cdecl;
  TSlotSetStatus = procedure(Self: Pointer; Port, Value: Int32); cdecl;
  TSlotGetStatus = function(Self: Pointer; Port: Int32): Byte; cdecl;
  TSlotStopNozzle = function(Self: Pointer; Port, Nozzle, Confirm: Int32): Byte; cdecl;
  TSlotSpareQuery = function(Self: Pointer; Arg: Int32): Byte; cdecl;
  TSlotResult = procedure(Self: Pointer; Port, Nozzle: Int32; var Volume, Money: Double); cdecl;
  TSlotGetTotal = procedure(Self: Pointer; Port, Nozzle, Side: Int32; var Total: Double;
    var Second: QWord; A, B: Int32); cdecl;
  TSlotSetTotal = procedure(Self: Pointer; Port, Nozzle, Side: Int32; var Value: Double;
    A, B, C: Int32); cdecl;
  TSlotCurrent = function(Self: Pointer; Port, Nozzle: Int32; var Money: Double): Double; cdecl;
  TSlotNozzleState = function(Self: Pointer; Port, Nozzle: Int32): Word; cdecl;
  TSlotSetPrice = procedure(Self: Pointer; Port, Nozzle, Side, A, B: Int32; Price: Double); cdecl;
  TSlotSpareCommand = procedure(Self: Pointer; A, B, C: Int32); cdecl;
  TSlotPreset = procedure(Self: Pointer; Port, Nozzle, Side, Extra: Int32; Amount: Double); cdecl;
  TSlotStart = procedure(Self: Pointer; Port, Nozzle, Side: Int32); cdecl;
  TSlotSetupPort = function(Self: Pointer; Port: Int32): Int32; cdecl;
  TSlotGetParam = function(Self: Pointer; Port, Nozzle, ParamNo: Int32): Int32; cdecl;
  TSlotSetPar = procedure(Self: Pointer; Port, Nozzle, ParamNo, Value: Int32); cdecl;
  TSlotStartReset = procedure(Self: Pointer; Port, Nozzle, Side, SkipReset: Int32); cdecl;
  TSlotProperty = function(Self: Pointer; Kind: Int32; var Value: Int32): Byte; cdecl;
  TSlotPoll = function(Self: Pointer; Port, Nozzle, SideCount: Int32): TNozzlePoll; cdecl;
  TSlotStopPump = procedure(Self: Pointer; Port, Nozzle, Side, Confirm: Int32); cdecl;
  TSlotStopReset = function(Self: Pointer; Port, Nozzle, Side, Confirm: Int32): Int32; cdecl;
  TSlotMenu = procedure(Self: Pointer; Root, CreateItem: Pointer); cdecl;

  TGetQX25 = function(Options: UInt32; AppHandle: PtrUInt; Dispatcher: Pointer): Pointer; cdecl;
  TLogCallback = procedure(Context: Pointer; Level: Int32; Line: PAnsiChar); cdecl;
  TSetQX25Log = function(Level: Int32; Callback: TLogCallback; Context: Pointer): Int32; cdecl;

  // The C interface (qx25c.h).
  TOpen = function(Options: UInt32; Port: Int32; Device: PAnsiChar): Pointer; cdecl;
  TSetDevice = function(H: Pointer; Port: Int32; Device: PAnsiChar): Int32; cdecl;
  THandleFn = procedure(H: Pointer); cdecl;
  TDriverFn = function(H: Pointer): Pointer; cdecl;
  TLastError = function: PAnsiChar; cdecl;
  TCPreset = function(H: Pointer; Port, Nozzle, Side, Extra: Int32; Amount: Double): Int32; cdecl;
  TCSetPrice = function(H: Pointer; Port, Nozzle, Side, A, B: Int32; Price: Double): Int32; cdecl;
  TCStart = function(H: Pointer; Port, Nozzle, Side: Int32): Int32; cdecl;
  TCPoll = function(H: Pointer; Port, Nozzle, SideCount: Int32; Poll: PNozzlePoll): Int32; cdecl;
  TCResult = function(H: Pointer; Port, Nozzle: Int32; var Volume, Money: Double): Int32; cdecl;
  TCTotal = function(H: Pointer; Port, Nozzle, Side: Int32; var Total: Double; var Second: QWord;
    A, B: Int32): Int32; cdecl;

const
  Port = 1;
  Nozzle = 1;
  Side = 1;
  Price = 52.30;
  Closed = 216;        // the poll's summary once it has closed a delivery
  Accepted = 1;        // PortStatus after an accepted reply
  DeadPort = 2;        // mapped to a device that does not exist
  NoDevice = 1;        // the dispatcher's failure class for it

var
  Lib: TLibHandle;
  Failures: Integer = 0;
  Traffic: AnsiString = '';  // the driver's log since the last Take

procedure Check(Ok: Boolean; const What: string);
begin
  if not Ok then
  begin
    WriteLn('FAILED: ', What);
    Flush(Output);  // a slot in the wrong place may abort the program next
    Inc(Failures);
  end;
end;

function Need(const Name: string): Pointer;
begin
  Result := GetProcedureAddress(Lib, Name);
  if Result = nil then
  begin
    WriteLn('the library lacks ', Name);
    Halt(1);
  end;
end;

procedure OnLog(Context: Pointer; Level: Int32; Line: PAnsiChar); cdecl;
begin
  Traffic := Traffic + AnsiString(Line) + #10;
end;

// What the driver logged since the last call.
function Take: AnsiString;
begin
  Result := Traffic;
  Traffic := '';
end;

function Has(const Log, Request: AnsiString): Boolean;
begin
  Result := Pos(': ' + Request + ' answered', Log) > 0;
end;

function Slot(Driver: Pointer; Index: Integer): Pointer;
begin
  Result := PPointer(PPointer(Driver)^ + Index * SizeOf(Pointer))^;
end;

// Polls until the poll has closed the delivery (the simulator delivers a few
// litres within a second); False when it never did.
function PollToEnd(Driver: Pointer): Boolean;
var
  Deadline: QWord;
begin
  Deadline := GetTickCount64 + 20000;
  repeat
    if TSlotPoll(Slot(Driver, 21))(Driver, Port, Nozzle, 1).State = Closed then Exit(True);
  until GetTickCount64 > Deadline;
  Result := False;
end;

function OpenDriver(const Line: AnsiString): Pointer;
begin
  Result := TOpen(Need('qx25_open'))(0, Port, PAnsiChar(Line));
  if Result = nil then
  begin
    WriteLn('qx25_open: ', TLastError(Need('qx25_last_error'))());
    Halt(1);
  end;
end;

procedure DeliveryThroughSlots(const Line: AnsiString);
var
  H, D, Bare: Pointer;
  Info: TDriverInfo;
  Volume, Money, Total: Double;
  Second: QWord;
begin
  // GetQX25 as every host calls it; a driver without a dispatcher answers
  // the slots that need no line.
  Bare := TGetQX25(Need('GetQX25'))(0, 0, nil);
  TSlotInfo(Slot(Bare, 1))(@Info, Bare);
  Check((Info.Length = 27) and (Copy(Info.Text, 1, 6) = 'v2.41#'), 'slot 1 of GetQX25''s driver');

  H := OpenDriver(Line);
  D := TDriverFn(Need('qx25_driver'))(H);
  TSlotSetPrice(Slot(D, 11))(D, Port, Nozzle, Side, 0, 0, Price);
  TSlotPreset(Slot(D, 13))(D, Port, Nozzle, Side, 0, 2);
  Check(TSlotGetStatus(Slot(D, 3))(D, Port) = Accepted, 'preset accepted');
  TSlotStart(Slot(D, 15))(D, Port, Nozzle, Side);
  Check(TSlotGetStatus(Slot(D, 3))(D, Port) = Accepted, 'start accepted');
  Check(PollToEnd(D), 'the delivery ended');
  TSlotResult(Slot(D, 6))(D, Port, Nozzle, Volume, Money);
  WriteLn(Format('delivered %.2f L for %.2f', [Volume, Money]));
  Check((Volume = 2) and (Abs(Money - 104.6) < 0.001), 'the result is 2 L at the price');
  TSlotGetTotal(Slot(D, 7))(D, Port, Nozzle, Side, Total, Second, 0, 0);
  Check(Total >= 2, 'the totalizer counts the delivery');
  THandleFn(Need('qx25_close'))(H);
end;

procedure DeliveryThroughC(const Line: AnsiString);
var
  H: Pointer;
  LastError: TLastError;
  Poll: TNozzlePoll;
  Volume, Money, Before, After: Double;
  Second: QWord;
  Deadline: QWord;
begin
  LastError := TLastError(Need('qx25_last_error'));
  H := OpenDriver(Line);
  Check(TCTotal(Need('qx25_get_total_counter'))(H, Port, Nozzle, Side, Before, Second, 0, 0) = 0,
    'total before');
  Check(TCSetPrice(Need('qx25_set_price'))(H, Port, Nozzle, Side, 0, 0, Price) = 0, 'price');
  Check(TCPreset(Need('qx25_preset_money'))(H, Port, Nozzle, Side, 0, 2 * Price) = 0, 'preset');
  Check(TCStart(Need('qx25_start_pump'))(H, Port, Nozzle, Side) = 0, 'start');
  Deadline := GetTickCount64 + 20000;
  repeat
    Check(TCPoll(Need('qx25_poll_nozzle'))(H, Port, Nozzle, 1, @Poll) = 0, 'poll');
  until (Poll.State = Closed) or (GetTickCount64 > Deadline);
  Check(Poll.State = Closed, 'the delivery ended');
  Check(TCResult(Need('qx25_get_delivery_result'))(H, Port, Nozzle, Volume, Money) = 0, 'result');
  WriteLn(Format('delivered %.2f L for %.2f', [Volume, Money]));
  Check((Volume = 2) and (Abs(Money - 104.6) < 0.001), 'the result is 2 L at the price');
  Check(TCTotal(Need('qx25_get_total_counter'))(H, Port, Nozzle, Side, After, Second, 0, 0) = 0,
    'total after');
  Check(Abs(After - Before - 2) < 0.001, 'the totalizer counts the delivery');
  // A failure is a value and a message, never an exception.
  Check(TCStart(Need('qx25_start_pump'))(H, Port, 33, Side) = -1, 'nozzle 33 fails');
  Check(Pos('колонки', AnsiString(LastError())) > 0, 'nozzle 33''s message');
  THandleFn(Need('qx25_close'))(H);
end;

// A slot that throws (0 always; 24 in a host without a toolkit) cannot be
// caught by a Pascal frame: it runs in a child, whose C++ runtime must end it
// with the exception's message.
procedure CheckThrows(D: Pointer; Index: Integer; const Message: AnsiString);
var
  Fds: TFilDes;
  Pid: TPid;
  Status: cint;
  Buffer: array[0..4095] of AnsiChar;
  Got: TSsize;
  Output: AnsiString;
begin
  Check(FpPipe(Fds) = 0, 'pipe');
  Pid := FpFork;
  if Pid = 0 then
  begin
    FpDup2(Fds[1], 2);
    if Index = 0 then TSlotVoid(Slot(D, 0))(D)
    else TSlotMenu(Slot(D, Index))(D, nil, nil);
    FpExit(0);
  end;
  FpClose(Fds[1]);
  Output := '';
  repeat
    Got := FpRead(Fds[0], Buffer, SizeOf(Buffer));
    if Got > 0 then Output := Output + Copy(Buffer, 1, Got);
  until Got <= 0;
  FpClose(Fds[0]);
  FpWaitPid(Pid, @Status, 0);
  Check(WIFSIGNALED(Status) and (Pos(Message, Output) > 0),
    Format('slot %d throws "%s"', [Index, Message]));
end;

procedure CheckTable(const Line: AnsiString);
var
  H, D, Exported: Pointer;
  Info: TDriverInfo;
  Log: AnsiString;
  Volume, Money, Total, Counter: Double;
  Second: QWord;
  Value: Int32;
  I: Integer;
const
  // Slots with no effect to tell them by (reserved, or answering 0 without
  // a request): each must be the exported operation of its number. The two
  // spare hooks are one function, so their order cannot matter.
  Quiet: array[0..4] of record Index: Integer; Name: string end = (
    (Index: 5; Name: '_ZN5TQX2510SpareQueryEi'),
    (Index: 10; Name: '_ZN5TQX2514GetNozzleStateEii'),
    (Index: 12; Name: '_ZN5TQX2512SpareCommandEiii'),
    (Index: 25; Name: '_ZN5TQX2510SpareHookAEPvPFS0_S0_iE'),
    (Index: 26; Name: '_ZN5TQX2510SpareHookBEPvPFS0_S0_iE'));
begin
  H := OpenDriver(Line);
  Check(TSetDevice(Need('qx25_set_device'))(H, DeadPort, '/nonexistent/qx25-line') = 0,
    'dead port mapped');
  D := TDriverFn(Need('qx25_driver'))(H);
  Check(TSetQX25Log(Need('SetQX25Log'))(3, @OnLog, nil) = 0, 'log on');

  CheckThrows(D, 0, 'abstract operation called');
  CheckThrows(D, 24, 'InstallMenu: the host has no QApplication');
  TSlotInfo(Slot(D, 1))(@Info, D);
  Check((Info.Length = 27) and (Copy(Info.Text, 1, 6) = 'v2.41#'), 'slot 1 is GetDriverInfo');
  TSlotSetStatus(Slot(D, 2))(D, Port, 77);
  Check(TSlotGetStatus(Slot(D, 3))(D, Port) = 77, 'slots 2 and 3 set and get PortStatus');
  Check(TSlotSetupPort(Slot(D, 16))(D, Port) = 0, 'slot 16 sets up a live port');
  Check(TSlotSetupPort(Slot(D, 16))(D, DeadPort) = NoDevice, 'slot 16 reports a dead port');
  Check((TSlotProperty(Slot(D, 20))(D, 7, Value) and 1 = 1) and (Value = 400),
    'slot 20 is GetDriverProperty');
  Check(Take = '', 'slots 1 to 3, 16 and 20 send no request');

  TSlotSetPar(Slot(D, 18))(D, Port, Nozzle, 15, 250);
  Check(Has(Take, 'запись параметра'), 'slot 18 writes a parameter');
  Check(TSlotGetParam(Slot(D, 17))(D, Port, Nozzle, 15) = 250, 'slot 17 reads it back');
  Check(Has(Take, 'чтение параметра'), 'slot 17 reads a parameter');

  // A delivery by volume at a price: slots 11, 13, 15, 21, 9, 6, 7.
  TSlotSetPrice(Slot(D, 11))(D, Port, Nozzle, Side, 0, 0, Price);
  Check(Take = '', 'slot 11 only stores the price');
  TSlotPreset(Slot(D, 13))(D, Port, Nozzle, Side, 0, 2);
  Check(Has(Take, 'предустановка'), 'slot 13 presets');
  TSlotStart(Slot(D, 15))(D, Port, Nozzle, Side);
  Log := Take;
  Check(Has(Log, 'пуск') and not Has(Log, 'сброс'), 'slot 15 starts without a reset');
  Check(PollToEnd(D), 'slot 21 polls the delivery to its end');
  Check(Has(Take, 'состояние'), 'slot 21 asks the state');
  TSlotCurrent(Slot(D, 9))(D, Port, Nozzle, Money);
  Check(Has(Take, 'текущий налив'), 'slot 9 asks the current delivery');
  TSlotResult(Slot(D, 6))(D, Port, Nozzle, Volume, Money);
  Check(Has(Take, 'итог налива'), 'slot 6 asks the result');
  Check((Volume = 2) and (Abs(Money - 104.6) < 0.001), 'slots 13 and 11: 2 L at the price');
  TSlotGetTotal(Slot(D, 7))(D, Port, Nozzle, Side, Total, Second, 0, 0);
  Check(Has(Take, 'суммарный счётчик') and (Total >= 2), 'slot 7 reads the totalizer');
  Counter := Total;
  TSlotSetTotal(Slot(D, 8))(D, Port, Nozzle, Side, Counter, 0, 0, 0);
  Check(Has(Take, 'запись счётчика'), 'slot 8 writes the totalizer');

  // By money, with the reset before the start: slots 14 and 19.
  TSlotPreset(Slot(D, 14))(D, Port, Nozzle, Side, 0, Price);
  Check(Has(Take, 'предустановка'), 'slot 14 presets');
  TSlotStartReset(Slot(D, 19))(D, Port, Nozzle, Side, 0);
  Log := Take;
  Check(Has(Log, 'сброс') and Has(Log, 'подготовка к пуску') and Has(Log, 'пуск'),
    'slot 19 resets, prepares and starts');
  Check(PollToEnd(D), 'the delivery by money ended');
  Take;
  TSlotResult(Slot(D, 6))(D, Port, Nozzle, Volume, Money);
  Check(Volume = 1, 'slot 14 presets by money: 1 L');
  Take;

  // Stops: unconfirmed ones send nothing.
  Check(TSlotStopNozzle(Slot(D, 4))(D, Port, Nozzle, 0) and 1 = 0, 'slot 4 returns false');
  TSlotStopPump(Slot(D, 22))(D, Port, Nozzle, Side, 0);
  Check(Take = '', 'slots 4 and 22 unconfirmed send nothing');
  TSlotStopNozzle(Slot(D, 4))(D, Port, Nozzle, 1);
  Check(Has(Take, 'остановка'), 'slot 4 stops');
  TSlotStopPump(Slot(D, 22))(D, Port, Nozzle, Side, 1);
  Check(Has(Take, 'остановка'), 'slot 22 stops');
  Check(TSlotStopReset(Slot(D, 23))(D, Port, Nozzle, Side, 1) = 0, 'slot 23 resets');
  Log := Take;
  Check(Has(Log, 'остановка') and Has(Log, 'сброс'), 'slot 23 stops and resets');

  Check(TSlotSpareQuery(Slot(D, 5))(D, 1) = 0, 'slot 5 answers 0');
  Check(TSlotNozzleState(Slot(D, 10))(D, Port, Nozzle) = 0, 'slot 10 answers 0');
  TSlotSpareCommand(Slot(D, 12))(D, 1, 2, 3);
  TSlotMenu(Slot(D, 25))(D, nil, nil);
  TSlotMenu(Slot(D, 26))(D, nil, nil);
  Check(Take = '', 'slots 5, 10, 12, 25 and 26 send nothing');
  for I := Low(Quiet) to High(Quiet) do
  begin
    Exported := GetProcedureAddress(Lib, Quiet[I].Name);
    Check((Exported <> nil) and (Slot(D, Quiet[I].Index) = Exported),
      Format('slot %d is %s', [Quiet[I].Index, Quiet[I].Name]));
  end;

  TSetQX25Log(Need('SetQX25Log'))(-1, nil, nil);
  THandleFn(Need('qx25_close'))(H);
end;

begin
  // The library's arithmetic may make a NaN or an infinity on purpose; a
  // Pascal program traps them unless told not to.
  SetExceptionMask([exInvalidOp, exDenormalized, exZeroDivide, exOverflow, exUnderflow,
    exPrecision]);
  if ParamCount <> 3 then
  begin
    WriteLn('usage: PascalHost slots|c|table LIBRARY LINE');
    Halt(2);
  end;
  Lib := LoadLibrary(ParamStr(2));
  if Lib = NilHandle then
  begin
    WriteLn('cannot load ', ParamStr(2));
    Halt(1);
  end;
  if ParamStr(1) = 'slots' then DeliveryThroughSlots(ParamStr(3))
  else if ParamStr(1) = 'c' then DeliveryThroughC(ParamStr(3))
  else if ParamStr(1) = 'table' then CheckTable(ParamStr(3))
  else Halt(2);
  if Failures > 0 then Halt(1);
  WriteLn('passed');
end.
