{ Korvan.pas - the 26 operations of the Korvan pump-automation driver,
  _Korvan.dll, for Delphi and Free Pascal hosts.

  On 32 bits every operation uses the register convention, the first three
  arguments in EAX, EDX and ECX and the rest pushed left to right: Pascal's
  own, so the arguments are declared in their natural order. On 64 bits the
  directive is ignored and the platform's one convention applies.

  Texts are single-byte, in the Windows ANSI code page. The driver writes
  output texts without a length check: pass buffers of at least the sizes
  below. A False result means failure; the driver's log says why
  (DRV_IniciaGravacaoLog). docs/exports.md describes each operation. }
unit Korvan;

interface

const
  KorvanDll = '_Korvan.dll';

  { Buffer sizes, terminating zero included. }
  KORVAN_NUMBER_TEXT_SIZE = 23;  { volume, price, amount, totalizer }
  KORVAN_NOZZLE_TEXT_SIZE = 12;  { NumeroLogico of a delivery }
  KORVAN_TIME_TEXT_SIZE = 9;     { Hora, 'hh:mm:ss' }
  KORVAN_CODE_TEXT_SIZE = 17;    { argument 9 of a delivery, hexadecimal }
  KORVAN_SHORT_TEXT_SIZE = 2;    { argument 8 of a delivery, '0' }
  KORVAN_EMPTY_TEXT_SIZE = 1;    { argument 10 of a delivery, '' }
  KORVAN_SIGNATURE_SIZE = 7;     { 'Korvan' }
  KORVAN_VERSION_SIZE = 5;       { '3.37' }
  { AUT_ObtemStatus writes one letter per pump, then a zero byte: at most
    32767 pumps, so KORVAN_STATUS_SIZE_MAX bytes are always enough. }
  KORVAN_STATUS_PUMPS_MAX = 32767;
  KORVAN_STATUS_SIZE_MAX = KORVAN_STATUS_PUMPS_MAX + 1;

function AUT_AlteraConfiguracaoBomba: Boolean;
  register; external KorvanDll;
function AUT_SetarUltimoIdLogico: Boolean;
  register; external KorvanDll;
function AUT_ExcluiVendedorCliente: Boolean;
  register; external KorvanDll;
function AUT_InsereCliente: Boolean;
  register; external KorvanDll;
function AUT_InsereVendedor: Boolean;
  register; external KorvanDll;
function AUT_VerificaSuporte(Codigo: Integer): Boolean;
  register; external KorvanDll;
function AUT_ObtemAssinatura(Assinatura: PAnsiChar; Versao: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_DesbloqueiaTodosBicos: Boolean;
  register; external KorvanDll;
function AUT_DesbloqueiaBico(const Bico: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_BloqueiaTodosBicos: Boolean;
  register; external KorvanDll;
function AUT_BloqueiaBico(const Bico: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_PagamentoBico: Boolean;
  register; external KorvanDll;
function AUT_AutorizaAbastecimento(const Bico: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_PresetAbastecimento: Boolean;
  register; external KorvanDll;
function AUT_AlteraPreco(const Bico: PAnsiChar; const Preco: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_ObtemPreco(const Bico: PAnsiChar; Preco: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_ObtemEncerrante(const Bico: PAnsiChar; Encerrante: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_ObtemStatus(Status: PAnsiChar): Boolean;
  register; external KorvanDll;
function AUT_ObtemDisplay: Boolean;
  register; external KorvanDll;
function AUT_ConfirmaAbastecimento: Boolean;
  register; external KorvanDll;
function AUT_ObtemAbastecimento(NumeroLogico: PAnsiChar; Volume: PAnsiChar; ValorTotal: PAnsiChar; PrecoUnitario: PAnsiChar; EncerranteInicial: PAnsiChar; EncerranteFinal: PAnsiChar; Hora: PAnsiChar; Texto8: PAnsiChar; Texto9: PAnsiChar; Texto10: PAnsiChar; var Data: TDateTime): Boolean;
  register; external KorvanDll;
procedure AUT_RegistraBico(const NumeroLogico: PAnsiChar; const NumeroBomba: PAnsiChar; const NaoLido: PAnsiChar; const CasasLitragem: PAnsiChar; const CasasPreco: PAnsiChar; const CasasTotal: PAnsiChar; const CasasEncerrante: PAnsiChar; const Configuracao: PAnsiChar);
  register; external KorvanDll;
procedure AUT_FinalizaComunicacao;
  register; external KorvanDll;
function AUT_IniciaComunicacao(const Porta: PAnsiChar; const Modo: PAnsiChar; const Configuracao: PAnsiChar): Boolean;
  register; external KorvanDll;
procedure DRV_ParaGravacaoLog;
  register; external KorvanDll;
procedure DRV_IniciaGravacaoLog;
  register; external KorvanDll;

implementation

end.
