// Korvan.cs - the 26 operations of the Korvan pump-automation driver for
// .NET hosts. A 32-bit process calls _KorvanStd.dll (stdcall) through
// KorvanStd, a 64-bit one _Korvan.dll (the platform's one convention) through
// Korvan64; Environment.Is64BitProcess tells which.
//
// Texts are single-byte, in the Windows ANSI code page. The driver writes
// output texts without a length check: pass a StringBuilder whose capacity
// is at least the size below. A false result means failure; the driver's
// log says why (DRV_IniciaGravacaoLog). docs/exports.md describes each
// operation.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Korvan
{
    public static class Sizes
    {
        // Buffer sizes, terminating zero included.
        public const int NumberText = 23;   // volume, price, amount, totalizer
        public const int NozzleText = 12;   // NumeroLogico of a delivery
        public const int TimeText = 9;      // Hora, "hh:mm:ss"
        public const int CodeText = 17;     // argument 9 of a delivery, hex
        public const int ShortText = 2;     // argument 8 of a delivery, "0"
        public const int EmptyText = 1;     // argument 10 of a delivery, ""
        public const int Signature = 7;     // "Korvan"
        public const int Version = 5;       // "3.37"
        // AUT_ObtemStatus writes one letter per pump, then a zero byte: at
        // most 32767 pumps, so StatusMax is always enough.
        public const int StatusPumpsMax = 32767;
        public const int StatusMax = StatusPumpsMax + 1;
        public static int Status(int pumps) { return pumps + 1; }
    }

    // _KorvanStd.dll, for 32-bit processes.
    public static class KorvanStd
    {
        const string Dll = "_KorvanStd.dll";
        const CallingConvention Convention = CallingConvention.StdCall;

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_AlteraConfiguracaoBomba();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_SetarUltimoIdLogico();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ExcluiVendedorCliente();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_InsereCliente();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_InsereVendedor();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_VerificaSuporte(int codigo);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemAssinatura(StringBuilder assinatura, StringBuilder versao);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_DesbloqueiaTodosBicos();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_DesbloqueiaBico(string bico);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_BloqueiaTodosBicos();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_BloqueiaBico(string bico);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_PagamentoBico();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_AutorizaAbastecimento(string bico);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_PresetAbastecimento();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_AlteraPreco(string bico, string preco);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemPreco(string bico, StringBuilder preco);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemEncerrante(string bico, StringBuilder encerrante);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemStatus(StringBuilder status);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemDisplay();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ConfirmaAbastecimento();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemAbastecimento(StringBuilder numeroLogico, StringBuilder volume, StringBuilder valorTotal, StringBuilder precoUnitario, StringBuilder encerranteInicial, StringBuilder encerranteFinal, StringBuilder hora, StringBuilder texto8, StringBuilder texto9, StringBuilder texto10, out double data);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void AUT_RegistraBico(string numeroLogico, string numeroBomba, string naoLido, string casasLitragem, string casasPreco, string casasTotal, string casasEncerrante, string configuracao);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void AUT_FinalizaComunicacao();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_IniciaComunicacao(string porta, string modo, string configuracao);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void DRV_ParaGravacaoLog();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void DRV_IniciaGravacaoLog();
    }

    // _Korvan.dll, for 64-bit processes.
    public static class Korvan64
    {
        const string Dll = "_Korvan.dll";
        const CallingConvention Convention = CallingConvention.Winapi;

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_AlteraConfiguracaoBomba();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_SetarUltimoIdLogico();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ExcluiVendedorCliente();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_InsereCliente();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_InsereVendedor();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_VerificaSuporte(int codigo);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemAssinatura(StringBuilder assinatura, StringBuilder versao);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_DesbloqueiaTodosBicos();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_DesbloqueiaBico(string bico);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_BloqueiaTodosBicos();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_BloqueiaBico(string bico);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_PagamentoBico();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_AutorizaAbastecimento(string bico);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_PresetAbastecimento();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_AlteraPreco(string bico, string preco);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemPreco(string bico, StringBuilder preco);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemEncerrante(string bico, StringBuilder encerrante);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemStatus(StringBuilder status);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemDisplay();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ConfirmaAbastecimento();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_ObtemAbastecimento(StringBuilder numeroLogico, StringBuilder volume, StringBuilder valorTotal, StringBuilder precoUnitario, StringBuilder encerranteInicial, StringBuilder encerranteFinal, StringBuilder hora, StringBuilder texto8, StringBuilder texto9, StringBuilder texto10, out double data);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void AUT_RegistraBico(string numeroLogico, string numeroBomba, string naoLido, string casasLitragem, string casasPreco, string casasTotal, string casasEncerrante, string configuracao);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void AUT_FinalizaComunicacao();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.Bool)]
        public static extern bool AUT_IniciaComunicacao(string porta, string modo, string configuracao);

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void DRV_ParaGravacaoLog();

        [DllImport(Dll, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern void DRV_IniciaGravacaoLog();
    }
}
