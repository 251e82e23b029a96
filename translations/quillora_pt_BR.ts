<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>AddressField</name>
    <message>
        <source>Enter a web address that starts with http:// or https://.</source>
        <translation>Digite um endereço da web que comece com http:// ou https://.</translation>
    </message>
</context>
<context>
    <name>AppMenu</name>
    <message>
        <source>Show Quillora</source>
        <translation>Mostrar o Quillora</translation>
    </message>
    <message>
        <source>Hide while sharing</source>
        <translation>Ocultar durante o compartilhamento</translation>
    </message>
    <message>
        <source>Assistants…</source>
        <translation>Assistentes…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Configurações…</translation>
    </message>
    <message>
        <source>Setup…</source>
        <translation>Configuração inicial…</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Verificar atualizações…</translation>
    </message>
    <message>
        <source>Quit Quillora</source>
        <translation>Sair do Quillora</translation>
    </message>
    <message>
        <source>Quillora</source>
        <translation>Quillora</translation>
    </message>
    <message>
        <source>Stop Listening</source>
        <translation>Parar de ouvir</translation>
    </message>
    <message>
        <source>Start Listening</source>
        <translation>Começar a ouvir</translation>
    </message>
</context>
<context>
    <name>AssistantMenu</name>
    <message>
        <source>Assistant and context for this call</source>
        <translation>Assistente e contexto desta chamada</translation>
    </message>
    <message>
        <source>No assistant</source>
        <translation>Nenhum assistente</translation>
    </message>
    <message>
        <source>No context</source>
        <translation>Nenhum contexto</translation>
    </message>
    <message>
        <source>%1 · %2</source>
        <translation>%1 · %2</translation>
    </message>
    <message>
        <source>Could not load the assistants: %1</source>
        <translation>Não foi possível carregar os assistentes: %1</translation>
    </message>
</context>
<context>
    <name>AssistantTemplate</name>
    <message>
        <source>Interview</source>
        <translation>Entrevista</translation>
    </message>
    <message>
        <source>Projects</source>
        <translation>Projetos</translation>
    </message>
    <message>
        <source>Prospecting</source>
        <translation>Prospecção</translation>
    </message>
    <message>
        <source>Blank</source>
        <translation>Em branco</translation>
    </message>
    <message>
        <source>Applied</source>
        <translation>Candidatura enviada</translation>
    </message>
    <message>
        <source>Screening</source>
        <translation>Triagem</translation>
    </message>
    <message>
        <source>First interview</source>
        <translation>Primeira entrevista</translation>
    </message>
    <message>
        <source>Technical interview</source>
        <translation>Entrevista técnica</translation>
    </message>
    <message>
        <source>Final interview</source>
        <translation>Entrevista final</translation>
    </message>
    <message>
        <source>Offer</source>
        <translation>Oferta</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>Recusado</translation>
    </message>
    <message>
        <source>Proposal</source>
        <translation>Proposta</translation>
    </message>
    <message>
        <source>In progress</source>
        <translation>Em andamento</translation>
    </message>
    <message>
        <source>Delivered</source>
        <translation>Entregue</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausado</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Novo</translation>
    </message>
    <message>
        <source>Qualified</source>
        <translation>Qualificado</translation>
    </message>
    <message>
        <source>Meeting</source>
        <translation>Reunião</translation>
    </message>
    <message>
        <source>Proposal sent</source>
        <translation>Proposta enviada</translation>
    </message>
    <message>
        <source>Won</source>
        <translation>Ganho</translation>
    </message>
    <message>
        <source>Lost</source>
        <translation>Perdido</translation>
    </message>
</context>
<context>
    <name>AssistantsSidebar</name>
    <message>
        <source>Assistants</source>
        <translation>Assistentes</translation>
    </message>
</context>
<context>
    <name>AssistantsWindow</name>
    <message>
        <source>Choose an assistant or create one with +.</source>
        <translation>Escolha um assistente ou crie um com +.</translation>
    </message>
    <message>
        <source>Assistants</source>
        <translation>Assistentes</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Novo</translation>
    </message>
    <message>
        <source>More</source>
        <translation>Mais</translation>
    </message>
    <message>
        <source>The store did not open. What you edit here will be lost when you quit the app.</source>
        <translation>O banco de dados não abriu. O que você editar aqui será perdido quando você sair do app.</translation>
    </message>
    <message>
        <source>New context</source>
        <translation>Novo contexto</translation>
    </message>
    <message>
        <source>New assistant</source>
        <translation>Novo assistente</translation>
    </message>
    <message>
        <source>New context in %1</source>
        <translation>Novo contexto em %1</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Restaurar</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>Arquivar</translation>
    </message>
    <message>
        <source>Could not save: %1</source>
        <translation>Não foi possível salvar: %1</translation>
    </message>
</context>
<context>
    <name>AudioCaptureService</name>
    <message>
        <source>Microphone capture ended (PulseAudio: %1)</source>
        <translation>A captura do microfone terminou (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>System audio capture ended (PulseAudio: %1)</source>
        <translation>A captura do áudio do sistema terminou (PulseAudio: %1)</translation>
    </message>
</context>
<context>
    <name>AudioTestView</name>
    <message>
        <source>Audio Test</source>
        <translation>Teste de áudio</translation>
    </message>
    <message>
        <source>Mic</source>
        <translation>Mic</translation>
    </message>
    <message>
        <source>System</source>
        <translation>Sistema</translation>
    </message>
    <message>
        <source>Instructions:</source>
        <translation>Instruções:</translation>
    </message>
    <message>
        <source>• Click &apos;Start Test&apos; below</source>
        <translation>• Clique em &apos;Iniciar teste&apos; abaixo</translation>
    </message>
    <message>
        <source>• Speak into your microphone</source>
        <translation>• Fale no microfone</translation>
    </message>
    <message>
        <source>• Watch the red bar move</source>
        <translation>• Veja a barra vermelha se mexer</translation>
    </message>
    <message>
        <source>Recording...</source>
        <translation>Gravando...</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Parado</translation>
    </message>
    <message>
        <source>Stop Test</source>
        <translation>Parar teste</translation>
    </message>
    <message>
        <source>Start Test</source>
        <translation>Iniciar teste</translation>
    </message>
    <message>
        <source>Quillora</source>
        <translation>Quillora</translation>
    </message>
    <message>
        <source>Microphone Not Available</source>
        <translation>Microfone indisponível</translation>
    </message>
    <message>
        <source>Check that a microphone is connected and not muted in your sound settings.

Then try again.</source>
        <translation>Verifique se há um microfone conectado e se ele não está sem som nas configurações de som.

Depois, tente de novo.</translation>
    </message>
    <message>
        <source>Open Sound Settings</source>
        <translation>Abrir configurações de som</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Failed to start: %1</source>
        <translation>Não foi possível iniciar: %1</translation>
    </message>
    <message>
        <source>• Check that the microphone is not muted in your sound settings</source>
        <translation>• Verifique se o microfone não está sem som nas configurações de som</translation>
    </message>
</context>
<context>
    <name>CallArchive</name>
    <message>
        <source>The file could not be saved.</source>
        <translation>Não foi possível salvar o arquivo.</translation>
    </message>
</context>
<context>
    <name>CallRow</name>
    <message>
        <source>Good call</source>
        <translation>Chamada boa</translation>
    </message>
    <message>
        <source>Bad call</source>
        <translation>Chamada ruim</translation>
    </message>
    <message>
        <source>Transcript</source>
        <translation>Transcrição</translation>
    </message>
    <message>
        <source>Open file</source>
        <translation>Abrir arquivo</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Mostrar na pasta</translation>
    </message>
    <message>
        <source>Note (optional)</source>
        <translation>Observação (opcional)</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Observação</translation>
    </message>
    <message>
        <source>No summary.</source>
        <translation>Sem resumo.</translation>
    </message>
    <message>
        <source>Suggestion (%1): </source>
        <translation>Sugestão (%1): </translation>
    </message>
    <message>
        <source>Analyze again</source>
        <translation>Analisar de novo</translation>
    </message>
    <message>
        <source>Include this call in the next improvement from history</source>
        <translation>Incluir esta chamada na próxima melhoria com o histórico</translation>
    </message>
    <message>
        <source>Improvement from history gave up on this call: %1</source>
        <translation>A melhoria com o histórico desistiu desta chamada: %1</translation>
    </message>
    <message>
        <source>Writing the summary…</source>
        <translation>Escrevendo o resumo…</translation>
    </message>
    <message>
        <source>Write summary</source>
        <translation>Escrever resumo</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exportar…</translation>
    </message>
    <message>
        <source>Save the call as text, captions or JSON</source>
        <translation>Salvar a chamada como texto, legendas ou JSON</translation>
    </message>
    <message>
        <source>Plain text (*.txt)</source>
        <translation>Texto simples (*.txt)</translation>
    </message>
    <message>
        <source>SubRip captions (*.srt)</source>
        <translation>Legendas SubRip (*.srt)</translation>
    </message>
    <message>
        <source>WebVTT captions (*.vtt)</source>
        <translation>Legendas WebVTT (*.vtt)</translation>
    </message>
    <message>
        <source>JSON (*.json)</source>
        <translation>JSON (*.json)</translation>
    </message>
    <message>
        <source>Export the call</source>
        <translation>Exportar a chamada</translation>
    </message>
    <message>
        <source>Could not export the call: %1</source>
        <translation>Não foi possível exportar a chamada: %1</translation>
    </message>
    <message>
        <source>the call is no longer in the store.</source>
        <translation>a chamada não está mais no banco de dados.</translation>
    </message>
    <message>
        <source>Exported to %1</source>
        <translation>Exportada para %1</translation>
    </message>
</context>
<context>
    <name>CallSearchModel</name>
    <message>
        <source>No assistant</source>
        <translation>Nenhum assistente</translation>
    </message>
    <message>
        <source>%1 · %2 · %3</source>
        <translation>%1 · %2 · %3</translation>
    </message>
    <message>
        <source>%1 · %2</source>
        <translation>%1 · %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>This call belongs to no assistant, so it has no place here.</source>
        <translation>Esta chamada não pertence a nenhum assistente, então não tem lugar aqui.</translation>
    </message>
</context>
<context>
    <name>CallSearchView</name>
    <message>
        <source>Search calls</source>
        <translation>Pesquisar chamadas</translation>
    </message>
    <message>
        <source>Search the calls&apos; transcripts, summaries and notes</source>
        <translation>Pesquisar nas transcrições, nos resumos e nas observações das chamadas</translation>
    </message>
    <message>
        <source>All assistants</source>
        <translation>Todos os assistentes</translation>
    </message>
    <message>
        <source>Calls found</source>
        <translation>Chamadas encontradas</translation>
    </message>
    <message>
        <source>Only %1</source>
        <translation>Apenas %1</translation>
    </message>
    <message>
        <source>Could not search the calls: %1</source>
        <translation>Não foi possível pesquisar as chamadas: %1</translation>
    </message>
    <message>
        <source>Type a word to search for.</source>
        <translation>Digite uma palavra para pesquisar.</translation>
    </message>
    <message>
        <source>No call matches.</source>
        <translation>Nenhuma chamada encontrada.</translation>
    </message>
    <message>
        <source>One call found.</source>
        <translation>Uma chamada encontrada.</translation>
    </message>
    <message>
        <source>The %1 best matching calls.</source>
        <translation>As %1 chamadas mais relevantes.</translation>
    </message>
    <message>
        <source>%1 calls found.</source>
        <translation>%1 chamadas encontradas.</translation>
    </message>
</context>
<context>
    <name>CallWindow</name>
    <message>
        <source>Quillora</source>
        <translation>Quillora</translation>
    </message>
    <message>
        <source>Clear transcript</source>
        <translation>Limpar transcrição</translation>
    </message>
    <message>
        <source>Assistants</source>
        <translation>Assistentes</translation>
    </message>
    <message>
        <source>Listening</source>
        <translation>Ouvindo</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Parado</translation>
    </message>
    <message>
        <source>Stop listening (Ctrl+Alt+Space from any app)</source>
        <translation>Parar de ouvir (Ctrl+Alt+Espaço em qualquer app)</translation>
    </message>
    <message>
        <source>Start listening (Ctrl+Alt+Space from any app)</source>
        <translation>Começar a ouvir (Ctrl+Alt+Espaço em qualquer app)</translation>
    </message>
    <message>
        <source>Stop keeping on top</source>
        <translation>Deixar de manter na frente</translation>
    </message>
    <message>
        <source>Keep on top of other windows</source>
        <translation>Manter na frente das outras janelas</translation>
    </message>
    <message>
        <source>A call that ended before it was stored has been recovered: find it in the Calls tab of the assistants window, where you can ask for its summary.</source>
        <translation>Uma chamada que terminou antes de ser guardada foi recuperada: ela está na aba Chamadas da janela de assistentes, onde você pode pedir o resumo dela.</translation>
    </message>
    <message>
        <source>%1 calls that ended before they were stored have been recovered: find them in the Calls tab of the assistants window, where you can ask for their summaries.</source>
        <translation>%1 chamadas que terminaram antes de ser guardadas foram recuperadas: elas estão na aba Chamadas da janela de assistentes, onde você pode pedir os resumos delas.</translation>
    </message>
    <message>
        <source>The store was damaged, so it was set aside as %1 and a new one was started. To recover its records, quit Quillora, move the new store away and run: sqlite3 &quot;%1&quot; .recover | sqlite3 &quot;%2&quot;</source>
        <translation>O banco de dados estava danificado, então foi guardado à parte como %1 e um novo foi criado. Para recuperar os registros dele, saia do Quillora, tire o banco de dados novo do lugar e execute: sqlite3 &quot;%1&quot; .recover | sqlite3 &quot;%2&quot;</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Dispensar</translation>
    </message>
</context>
<context>
    <name>CallsModel</name>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>Good call</source>
        <translation>Chamada boa</translation>
    </message>
    <message>
        <source>Bad call</source>
        <translation>Chamada ruim</translation>
    </message>
    <message>
        <source>No outcome</source>
        <translation>Sem resultado</translation>
    </message>
</context>
<context>
    <name>CallsTab</name>
    <message>
        <source>No calls yet.</source>
        <translation>Nenhuma chamada ainda.</translation>
    </message>
</context>
<context>
    <name>CheckForUpdatesView</name>
    <message>
        <source>Software Update</source>
        <translation>Atualização de software</translation>
    </message>
    <message>
        <source>Release notes</source>
        <translation>Notas da versão</translation>
    </message>
    <message>
        <source>Could not check for updates</source>
        <translation>Não foi possível verificar se há atualizações</translation>
    </message>
    <message>
        <source>Quillora %1 is available</source>
        <translation>O Quillora %1 está disponível</translation>
    </message>
    <message>
        <source>You have version %1. Update Quillora with your system&apos;s package manager.</source>
        <translation>Você tem a versão %1. Atualize o Quillora pelo gerenciador de pacotes do sistema.</translation>
    </message>
    <message>
        <source>Quillora is up to date</source>
        <translation>O Quillora está atualizado</translation>
    </message>
    <message>
        <source>Version %1 is the newest version available.</source>
        <translation>A versão %1 é a mais recente disponível.</translation>
    </message>
    <message>
        <source>Quillora %1 is installed</source>
        <translation>O Quillora %1 está instalado</translation>
    </message>
    <message>
        <source>Updates for Quillora come from your system&apos;s package manager. To check a release feed from here as well, enter its address in Settings, under Updates.</source>
        <translation>As atualizações do Quillora vêm do gerenciador de pacotes do sistema. Para consultar daqui também um feed de versões, informe o endereço dele em Configurações, em Atualizações.</translation>
    </message>
    <message>
        <source>Released on %1. You have version %2. Update Quillora with your system&apos;s package manager.</source>
        <translation>Lançada em %1. Você tem a versão %2. Atualize o Quillora pelo gerenciador de pacotes do sistema.</translation>
    </message>
</context>
<context>
    <name>ContextGeneralTab</name>
    <message>
        <source>e.g. First interview</source>
        <translation>ex.: Primeira entrevista</translation>
    </message>
    <message>
        <source>Suggestions</source>
        <translation>Sugestões</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nome</translation>
    </message>
    <message>
        <source>Stage</source>
        <translation>Etapa</translation>
    </message>
    <message>
        <source>Where this process stands. It goes into suggestions with the context files.</source>
        <translation>Em que ponto está este processo. Entra nas sugestões junto com os arquivos do contexto.</translation>
    </message>
</context>
<context>
    <name>DetailView</name>
    <message>
        <source>Restore</source>
        <translation>Restaurar</translation>
    </message>
    <message>
        <source>Archived: hidden from the main window.</source>
        <translation>Arquivado: não aparece na janela principal.</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Geral</translation>
    </message>
    <message>
        <source>Knowledge</source>
        <translation>Conhecimento</translation>
    </message>
    <message>
        <source>Questions</source>
        <translation>Perguntas</translation>
    </message>
    <message>
        <source>Improvements</source>
        <translation>Melhorias</translation>
    </message>
    <message>
        <source>Calls</source>
        <translation>Chamadas</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Arquivos</translation>
    </message>
</context>
<context>
    <name>DocumentsStep</name>
    <message>
        <source>Documents folder</source>
        <translation>Pasta Documentos</translation>
    </message>
    <message>
        <source>Saves each call, with its transcript and summary, in Documents/Quillora.</source>
        <translation>Salva cada chamada, com a transcrição e o resumo, em Documentos/Quillora.</translation>
    </message>
    <message>
        <source>Allow</source>
        <translation>Permitir</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Pronto</translation>
    </message>
</context>
<context>
    <name>EmptyState</name>
    <message>
        <source>From any app: Ctrl+Alt+Space starts or stops, Ctrl+Alt+Enter asks for a suggestion</source>
        <translation>Em qualquer app: Ctrl+Alt+Espaço começa ou para, Ctrl+Alt+Enter pede uma sugestão</translation>
    </message>
    <message>
        <source>Listening…</source>
        <translation>Ouvindo…</translation>
    </message>
    <message>
        <source>Press ▶ or Space to start</source>
        <translation>Pressione ▶ ou Espaço para começar</translation>
    </message>
</context>
<context>
    <name>GeneralSettingsView</name>
    <message>
        <source>Window Settings</source>
        <translation>Configurações da janela</translation>
    </message>
    <message>
        <source>Glass opacity</source>
        <translation>Opacidade do vidro</translation>
    </message>
    <message>
        <source>Always on Top</source>
        <translation>Sempre na frente</translation>
    </message>
    <message>
        <source>Hide when sharing the whole screen</source>
        <translation>Ocultar ao compartilhar a tela inteira</translation>
    </message>
    <message>
        <source>Transcription</source>
        <translation>Transcrição</translation>
    </message>
    <message>
        <source>On-device (PocketSphinx, free)</source>
        <translation>No computador (PocketSphinx, gratuito)</translation>
    </message>
    <message>
        <source>OpenAI (automatic Portuguese + English)</source>
        <translation>OpenAI (português + inglês automático)</translation>
    </message>
    <message>
        <source>Engine</source>
        <translation>Mecanismo</translation>
    </message>
    <message>
        <source>OpenAI API key</source>
        <translation>Chave de API da OpenAI</translation>
    </message>
    <message>
        <source>Save key</source>
        <translation>Salvar chave</translation>
    </message>
    <message>
        <source>Detects Portuguese and English by itself, even when the call switches midway. Audio goes to OpenAI and is billed per minute. Applies the next time you press ▶.</source>
        <translation>Detecta português e inglês sozinho, mesmo quando a chamada troca de idioma no meio. O áudio vai para a OpenAI e é cobrado por minuto. Vale a partir da próxima vez que você pressionar ▶.</translation>
    </message>
    <message>
        <source>Sharing a single app or window never shows Quillora anyway.</source>
        <translation>Ao compartilhar um único app ou janela, o Quillora nunca aparece de qualquer forma.</translation>
    </message>
    <message>
        <source>Not available on this desktop.</source>
        <translation>Não disponível neste ambiente de trabalho.</translation>
    </message>
    <message>
        <source>On-device (Whisper)</source>
        <translation>No computador (Whisper)</translation>
    </message>
    <message>
        <source>Whisper model</source>
        <translation>Modelo do Whisper</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Baixar</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Progresso do download</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>System language</source>
        <translation>Idioma do sistema</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automático</translation>
    </message>
    <message>
        <source>Portuguese (Brazil)</source>
        <translation>Português (Brasil)</translation>
    </message>
    <message>
        <source>English (US)</source>
        <translation>Inglês (EUA)</translation>
    </message>
    <message>
        <source>Whisper hears Portuguese, English and many more languages on this computer; nothing leaves it. Base is the best balance of speed and accuracy; small is more accurate and needs a fast processor.</source>
        <translation>O Whisper entende português, inglês e muitos outros idiomas neste computador; nada sai dele. O base é o melhor equilíbrio entre velocidade e precisão; o small é mais preciso e precisa de um processador rápido.</translation>
    </message>
    <message>
        <source>%1, %2, installed</source>
        <translation>%1, %2, instalado</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Cancel download</source>
        <translation>Cancelar download</translation>
    </message>
    <message>
        <source>Downloading %1…</source>
        <translation>Baixando %1…</translation>
    </message>
    <message>
        <source>Installed. The Whisper engine uses this model.</source>
        <translation>Instalado. O mecanismo Whisper usa este modelo.</translation>
    </message>
    <message>
        <source>Installed.</source>
        <translation>Instalado.</translation>
    </message>
    <message>
        <source>No Whisper model is installed yet: download one to use the Whisper engine.</source>
        <translation>Nenhum modelo do Whisper está instalado ainda: baixe um para usar o mecanismo Whisper.</translation>
    </message>
    <message>
        <source>Updates</source>
        <translation>Atualizações</translation>
    </message>
    <message>
        <source>Update feed</source>
        <translation>Feed de atualizações</translation>
    </message>
    <message>
        <source>None: the package manager tells of updates</source>
        <translation>Nenhum: o gerenciador de pacotes avisa das atualizações</translation>
    </message>
    <message>
        <source>Quillora is updated by your system&apos;s package manager. With the address of a release feed here, &quot;Check for Updates…&quot; also says when a newer version is out.</source>
        <translation>O Quillora é atualizado pelo gerenciador de pacotes do sistema. Com o endereço de um feed de versões aqui, &quot;Verificar atualizações…&quot; também avisa quando sai uma versão mais nova.</translation>
    </message>
</context>
<context>
    <name>GeneralTab</name>
    <message>
        <source>Name</source>
        <translation>Nome</translation>
    </message>
    <message>
        <source>Instructions</source>
        <translation>Instruções</translation>
    </message>
    <message>
        <source>How suggestions should sound in this situation. They go into every suggestion from this assistant.</source>
        <translation>Como as sugestões devem soar nesta situação. Elas entram em todas as sugestões deste assistente.</translation>
    </message>
    <message>
        <source>How you answer</source>
        <translation>Como você responde</translation>
    </message>
    <message>
        <source>Your tone, length and expressions. Improvements from history add notes here when you accept them.</source>
        <translation>Seu tom, o tamanho das respostas e suas expressões. As melhorias do histórico acrescentam notas aqui quando você as aceita.</translation>
    </message>
</context>
<context>
    <name>GuideWindow</name>
    <message>
        <source>Welcome to Quillora</source>
        <translation>Boas-vindas ao Quillora</translation>
    </message>
    <message>
        <source>Quillora listens to your calls and suggests what to say. Set up these steps once; you can change them later in Settings.</source>
        <translation>O Quillora ouve suas chamadas e sugere o que dizer. Configure estas etapas uma vez; você pode mudá-las depois nas Configurações.</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Concluir</translation>
    </message>
    <message>
        <source>Required</source>
        <translation>Obrigatório</translation>
    </message>
    <message>
        <source>Optional</source>
        <translation>Opcional</translation>
    </message>
    <message>
        <source>Starts Quillora when you log in.</source>
        <translation>Abre o Quillora quando você inicia a sessão.</translation>
    </message>
</context>
<context>
    <name>Improvement</name>
    <message>
        <source>proposal %1 has no text &quot;%2&quot;</source>
        <translation>a proposta %1 não tem o texto &quot;%2&quot;</translation>
    </message>
    <message>
        <source>proposal %1 has the unknown kind &quot;%2&quot;</source>
        <translation>a proposta %1 tem o tipo desconhecido &quot;%2&quot;</translation>
    </message>
    <message>
        <source>the reply is not valid JSON (%1)</source>
        <translation>a resposta não é um JSON válido (%1)</translation>
    </message>
    <message>
        <source>the reply is not a JSON object</source>
        <translation>a resposta não é um objeto JSON</translation>
    </message>
    <message>
        <source>the reply has no list &quot;proposals&quot;</source>
        <translation>a resposta não tem a lista &quot;proposals&quot;</translation>
    </message>
    <message>
        <source>proposal %1 is not an object</source>
        <translation>a proposta %1 não é um objeto</translation>
    </message>
    <message>
        <source>proposal %1 has no list &quot;%2&quot;</source>
        <translation>a proposta %1 não tem a lista &quot;%2&quot;</translation>
    </message>
    <message>
        <source>proposal %1 has a quote without text &quot;callID&quot; and &quot;text&quot;</source>
        <translation>a proposta %1 tem uma citação sem os textos &quot;callID&quot; e &quot;text&quot;</translation>
    </message>
    <message>
        <source>proposal %1 has a source that is not an integer</source>
        <translation>a proposta %1 tem uma fonte que não é um número inteiro</translation>
    </message>
</context>
<context>
    <name>ImprovementService</name>
    <message>
        <source>the store was closed</source>
        <comment>completes &quot;Improvement failed: …&quot;</comment>
        <translation>o banco de dados foi fechado</translation>
    </message>
    <message>
        <source>Choose Claude or OpenAI in Settings to use improvements.</source>
        <translation>Escolha Claude ou OpenAI nas Configurações para usar as melhorias.</translation>
    </message>
    <message>
        <source>No new calls to analyze.</source>
        <translation>Nenhuma chamada nova para analisar.</translation>
    </message>
    <message>
        <source>Merging the proposals…</source>
        <translation>Juntando as propostas…</translation>
    </message>
    <message>
        <source>No new proposals: the calls brought nothing the assistant does not already have.</source>
        <translation>Nenhuma proposta nova: as chamadas não trouxeram nada que o assistente ainda não tenha.</translation>
    </message>
    <message>
        <source>the assistant was deleted during the analysis</source>
        <comment>completes &quot;Improvement failed: …&quot;</comment>
        <translation>o assistente foi apagado durante a análise</translation>
    </message>
    <message>
        <source>Analyzing call %1 of %2…</source>
        <translation>Analisando a chamada %1 de %2…</translation>
    </message>
    <message>
        <source>Improvement failed: %1 Nothing was changed.</source>
        <translation>A melhoria falhou: %1 Nada foi alterado.</translation>
    </message>
    <message>
        <source>Improvement failed: %1. Nothing was changed.</source>
        <translation>A melhoria falhou: %1. Nada foi alterado.</translation>
    </message>
    <message>
        <source>1 new proposal.</source>
        <translation>1 proposta nova.</translation>
    </message>
    <message>
        <source>%1 new proposals.</source>
        <translation>%1 propostas novas.</translation>
    </message>
    <message>
        <source>Skipped the call of %1: %2</source>
        <translation>A chamada de %1 ficou de fora: %2</translation>
    </message>
    <message>
        <source>Improvement failed: no call could be analyzed.%1 Nothing was changed.</source>
        <translation>A melhoria falhou: nenhuma chamada pôde ser analisada.%1 Nada foi alterado.</translation>
    </message>
    <message>
        <source>Improvement failed: no call could be analyzed.%1</source>
        <translation>A melhoria falhou: nenhuma chamada pôde ser analisada.%1</translation>
    </message>
    <message>
        <source>Gave up on the call of %1 after the same failure twice: %2 To try it again, use &quot;Analyze again&quot; in its row in the Calls tab.</source>
        <translation>Desistiu da chamada de %1 depois da mesma falha duas vezes: %2 Para tentar de novo, use &quot;Analisar de novo&quot; na linha dela, na aba Chamadas.</translation>
    </message>
</context>
<context>
    <name>ImprovementsSection</name>
    <message>
        <source>Improve from history (1 new call)</source>
        <translation>Melhorar com o histórico (1 chamada nova)</translation>
    </message>
    <message>
        <source>Improve from history (%1 new calls)</source>
        <translation>Melhorar com o histórico (%1 chamadas novas)</translation>
    </message>
    <message>
        <source>Reviewed (%1)</source>
        <translation>Revisadas (%1)</translation>
    </message>
    <message>
        <source>Reads this assistant&apos;s new calls and proposes questions, answers and style notes, each with the passage it came from. Nothing changes until you accept.</source>
        <translation>Lê as chamadas novas deste assistente e propõe perguntas, respostas e notas de estilo, cada uma com o trecho de onde veio. Nada muda até você aceitar.</translation>
    </message>
    <message>
        <source>Question: %1</source>
        <translation>Pergunta: %1</translation>
    </message>
    <message>
        <source>Current answer: %1</source>
        <translation>Resposta atual: %1</translation>
    </message>
    <message>
        <source>Proposed: %1</source>
        <translation>Proposta: %1</translation>
    </message>
    <message>
        <source>Answer: %1</source>
        <translation>Resposta: %1</translation>
    </message>
    <message>
        <source>No answer: fill it in before accepting</source>
        <translation>Sem resposta: preencha antes de aceitar</translation>
    </message>
</context>
<context>
    <name>ImprovementsTab</name>
    <message>
        <source>Improving</source>
        <translation>Melhorando</translation>
    </message>
</context>
<context>
    <name>KeyField</name>
    <message>
        <source>Key removed.</source>
        <translation>Chave removida.</translation>
    </message>
    <message>
        <source>Key saved.</source>
        <translation>Chave salva.</translation>
    </message>
</context>
<context>
    <name>Keychain</name>
    <message>
        <source>No system keyring is running, so keys cannot be saved. Install and start one (GNOME Keyring from the package gnome-keyring, KWallet, or KeePassXC with its Secret Service integration), then save the key again.</source>
        <translation>Nenhum chaveiro do sistema está em execução, então as chaves não podem ser salvas. Instale e inicie um (o GNOME Keyring, do pacote gnome-keyring, o KWallet ou o KeePassXC com a integração ao Secret Service) e salve a chave de novo.</translation>
    </message>
    <message>
        <source>The key could not be saved in the system keyring: %1</source>
        <translation>Não foi possível salvar a chave no chaveiro do sistema: %1</translation>
    </message>
    <message>
        <source>The system keyring library (libsecret) could not be loaded, so keys cannot be saved: %1</source>
        <translation>Não foi possível carregar a biblioteca do chaveiro do sistema (libsecret), então as chaves não podem ser salvas: %1</translation>
    </message>
</context>
<context>
    <name>KnowledgeImport</name>
    <message>
        <source>Only .md or .txt files.</source>
        <translation>Só arquivos .md ou .txt.</translation>
    </message>
    <message>
        <source>The file is empty.</source>
        <translation>O arquivo está vazio.</translation>
    </message>
    <message>
        <source>The file is not UTF-8.</source>
        <translation>O arquivo não está em UTF-8.</translation>
    </message>
    <message>
        <source>The file is larger than 1 MB.</source>
        <translation>O arquivo tem mais de 1 MB.</translation>
    </message>
    <message>
        <source>Not a regular file: only a file&apos;s text can be imported.</source>
        <translation>Não é um arquivo comum: só o texto de um arquivo pode ser importado.</translation>
    </message>
</context>
<context>
    <name>KnowledgeModel</name>
    <message>
        <source>%1 words · %2</source>
        <translation>%1 palavras · %2</translation>
    </message>
</context>
<context>
    <name>KnowledgeTab</name>
    <message>
        <source>Drag .md or .txt files here.</source>
        <translation>Arraste arquivos .md ou .txt para cá.</translation>
    </message>
    <message>
        <source>Add file</source>
        <translation>Adicionar arquivo</translation>
    </message>
    <message>
        <source>Knowledge</source>
        <translation>Conhecimento</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Arquivos</translation>
    </message>
    <message>
        <source>.md or .txt files, up to 1 MB. The text is copied into the app and goes into every suggestion. Right-click a file to remove it.</source>
        <translation>Arquivos .md ou .txt de até 1 MB. O texto é copiado para o app e entra em todas as sugestões. Clique com o botão direito em um arquivo para removê-lo.</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remover</translation>
    </message>
    <message>
        <source>Markdown and text files (*.md *.MD *.txt *.TXT)</source>
        <translation>Arquivos Markdown e de texto (*.md *.MD *.txt *.TXT)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Todos os arquivos (*)</translation>
    </message>
</context>
<context>
    <name>LLMClient</name>
    <message>
        <source>Add an API key in Settings (Ctrl+,).</source>
        <translation>Adicione uma chave de API nas Configurações (Ctrl+,).</translation>
    </message>
    <message>
        <source>No on-device model is available on this computer.</source>
        <translation>Nenhum modelo local está disponível neste computador.</translation>
    </message>
    <message>
        <source>Claude declined to answer this one.</source>
        <translation>O Claude se recusou a responder a esta.</translation>
    </message>
    <message>
        <source>The model&apos;s reply was cut off because it was too long.</source>
        <translation>A resposta do modelo foi cortada por ser longa demais.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>A solicitação excedeu o tempo limite.</translation>
    </message>
    <message>
        <source>Operation canceled</source>
        <translation>Operação cancelada</translation>
    </message>
    <message>
        <source>Claude error: %1</source>
        <translation>Erro do Claude: %1</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>desconhecido</translation>
    </message>
    <message>
        <source>The model sent no text.</source>
        <translation>O modelo não enviou nenhum texto.</translation>
    </message>
</context>
<context>
    <name>LLMProvider</name>
    <message>
        <source>On-device (local model, free)</source>
        <translation>No computador (modelo local, gratuito)</translation>
    </message>
</context>
<context>
    <name>LocalModelPicker</name>
    <message>
        <source>First model the server lists</source>
        <translation>Primeiro modelo que o servidor listar</translation>
    </message>
</context>
<context>
    <name>LoginToggle</name>
    <message>
        <source>Open at login</source>
        <translation>Abrir ao iniciar a sessão</translation>
    </message>
</context>
<context>
    <name>MicrophoneStep</name>
    <message>
        <source>Microphone</source>
        <translation>Microfone</translation>
    </message>
    <message>
        <source>Transcribes what you say.</source>
        <translation>Transcreve o que você diz.</translation>
    </message>
    <message>
        <source>Allow</source>
        <translation>Permitir</translation>
    </message>
    <message>
        <source>Allowed</source>
        <translation>Permitido</translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation>Verificando…</translation>
    </message>
    <message>
        <source>No microphone input available</source>
        <translation>Nenhuma entrada de microfone disponível</translation>
    </message>
    <message>
        <source>Microphone access denied. Allow it in your desktop&apos;s privacy settings.</source>
        <translation>Acesso ao microfone negado. Permita o acesso nas configurações de privacidade do seu ambiente de trabalho.</translation>
    </message>
</context>
<context>
    <name>Migration</name>
    <message>
        <source>General</source>
        <translation>Geral</translation>
    </message>
</context>
<context>
    <name>Onboarding</name>
    <message>
        <source>Everything is set up.</source>
        <translation>Está tudo configurado.</translation>
    </message>
    <message>
        <source>1 required step left.</source>
        <translation>Falta 1 etapa obrigatória.</translation>
    </message>
    <message>
        <source>%1 required steps left.</source>
        <translation>Faltam %1 etapas obrigatórias.</translation>
    </message>
    <message>
        <source>Downloading %1%</source>
        <translation>Baixando %1%</translation>
    </message>
</context>
<context>
    <name>OpenAITranscriber</name>
    <message>
        <source>OpenAI could not be reached. Check the internet connection.</source>
        <translation>Não foi possível contatar a OpenAI. Verifique a conexão com a internet.</translation>
    </message>
    <message>
        <source>OpenAI refused the API key. Change it in Settings (Ctrl+,).</source>
        <translation>A OpenAI recusou a chave de API. Troque-a nas Configurações (Ctrl+,).</translation>
    </message>
    <message>
        <source>The OpenAI account is out of quota or rate-limited. Check its plan and billing, or try again later.</source>
        <translation>A conta da OpenAI está sem cota ou atingiu o limite de uso. Verifique o plano e o faturamento, ou tente de novo mais tarde.</translation>
    </message>
    <message>
        <source>OpenAI turned the connection down (HTTP %1).</source>
        <translation>A OpenAI recusou a conexão (HTTP %1).</translation>
    </message>
    <message>
        <source>The connection to OpenAI was lost.</source>
        <translation>A conexão com a OpenAI caiu.</translation>
    </message>
    <message>
        <source>OpenAI: %1</source>
        <translation>OpenAI: %1</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>erro desconhecido</translation>
    </message>
</context>
<context>
    <name>OutcomeControl</name>
    <message>
        <source>Good call</source>
        <translation>Chamada boa</translation>
    </message>
    <message>
        <source>Bad call</source>
        <translation>Chamada ruim</translation>
    </message>
    <message>
        <source>Note (optional)</source>
        <translation>Observação (opcional)</translation>
    </message>
</context>
<context>
    <name>PocketSphinxRecognizer</name>
    <message>
        <source>Could not load the speech model for %1.</source>
        <translation>Não foi possível carregar o modelo de fala de %1.</translation>
    </message>
    <message>
        <source>Could not load the on-device speech engine (PocketSphinx): %1</source>
        <translation>Não foi possível carregar o mecanismo de transcrição no computador (PocketSphinx): %1</translation>
    </message>
</context>
<context>
    <name>ProposalReview</name>
    <message>
        <source>Accepted</source>
        <translation>Aceita</translation>
    </message>
    <message>
        <source>Discarded</source>
        <translation>Descartada</translation>
    </message>
    <message>
        <source>Pending</source>
        <translation>Pendente</translation>
    </message>
    <message>
        <source>New question</source>
        <translation>Pergunta nova</translation>
    </message>
    <message>
        <source>Answer change</source>
        <translation>Mudança de resposta</translation>
    </message>
    <message>
        <source>How you answer</source>
        <translation>Como você responde</translation>
    </message>
    <message>
        <source>Instruction</source>
        <translation>Instrução</translation>
    </message>
</context>
<context>
    <name>ProposalView</name>
    <message>
        <source>Accept</source>
        <translation>Aceitar</translation>
    </message>
    <message>
        <source>Edit and accept</source>
        <translation>Editar e aceitar</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Descartar</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Pergunta</translation>
    </message>
    <message>
        <source>Answer</source>
        <translation>Resposta</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
</context>
<context>
    <name>ProviderPicker</name>
    <message>
        <source>Provider</source>
        <translation>Provedor</translation>
    </message>
</context>
<context>
    <name>PulseCapture</name>
    <message>
        <source>Could not reach the sound server (PulseAudio: %1)</source>
        <translation>Não foi possível contatar o servidor de som (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>Could not open the microphone (PulseAudio: %1)</source>
        <translation>Não foi possível abrir o microfone (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>Could not open the output device&apos;s monitor (PulseAudio: %1)</source>
        <translation>Não foi possível abrir o monitor do dispositivo de saída (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>Could not start the microphone (PulseAudio: %1)</source>
        <translation>Não foi possível iniciar o microfone (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>Could not start system audio capture (PulseAudio: %1)</source>
        <translation>Não foi possível iniciar a captura do áudio do sistema (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>Could not find the default output device (PulseAudio: %1)</source>
        <translation>Não foi possível encontrar o dispositivo de saída padrão (PulseAudio: %1)</translation>
    </message>
    <message>
        <source>No microphone input available</source>
        <translation>Nenhuma entrada de microfone disponível</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Não foi possível criar a pasta %1.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>Não foi possível gravar %1: %2</translation>
    </message>
    <message>
        <source>Could not remove %1: %2</source>
        <translation>Não foi possível remover %1: %2</translation>
    </message>
    <message>
        <source>Start or stop listening</source>
        <translation>Começar ou parar de ouvir</translation>
    </message>
    <message>
        <source>Suggest a reply now</source>
        <translation>Sugerir uma resposta agora</translation>
    </message>
</context>
<context>
    <name>QuestionEditor</name>
    <message>
        <source>Remove question</source>
        <translation>Remover pergunta</translation>
    </message>
    <message>
        <source>e.g. What are your salary expectations?</source>
        <translation>ex.: Qual é a sua pretensão salarial?</translation>
    </message>
    <message>
        <source>Any</source>
        <translation>Qualquer um</translation>
    </message>
    <message>
        <source>Portuguese</source>
        <translation>Português</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Inglês</translation>
    </message>
    <message>
        <source>Answer language</source>
        <translation>Idioma da resposta</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Origem</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Pergunta</translation>
    </message>
    <message>
        <source>Your answer</source>
        <translation>Sua resposta</translation>
    </message>
    <message>
        <source>The suggestion uses this answer as its base and translates it to the language of the question.</source>
        <translation>A sugestão usa esta resposta como base e a traduz para o idioma da pergunta.</translation>
    </message>
    <message>
        <source>Without a question and an answer, this item is left out of suggestions.</source>
        <translation>Sem pergunta e resposta, este item fica de fora das sugestões.</translation>
    </message>
    <message>
        <source>Written by you</source>
        <translation>Escrita por você</translation>
    </message>
    <message>
        <source>Improvement from history</source>
        <translation>Melhoria com o histórico</translation>
    </message>
    <message>
        <source>Remove this question?</source>
        <translation>Remover esta pergunta?</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remover</translation>
    </message>
</context>
<context>
    <name>QuestionsModel</name>
    <message>
        <source>No question</source>
        <translation>Sem pergunta</translation>
    </message>
    <message>
        <source>No answer</source>
        <translation>Sem resposta</translation>
    </message>
</context>
<context>
    <name>QuestionsTab</name>
    <message>
        <source>Add question</source>
        <translation>Adicionar pergunta</translation>
    </message>
    <message>
        <source>Search questions</source>
        <translation>Buscar perguntas</translation>
    </message>
    <message>
        <source>Questions</source>
        <translation>Perguntas</translation>
    </message>
    <message>
        <source>No questions</source>
        <translation>Nenhuma pergunta</translation>
    </message>
    <message>
        <source>When the other person asks something similar, the suggestion uses the answer from here.</source>
        <translation>Quando a outra pessoa perguntar algo parecido, a sugestão usa a resposta daqui.</translation>
    </message>
    <message>
        <source>Choose a question or create one with +.</source>
        <translation>Escolha uma pergunta ou crie uma com +.</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>Quillora Settings</source>
        <translation>Configurações do Quillora</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Geral</translation>
    </message>
    <message>
        <source>Suggestions</source>
        <translation>Sugestões</translation>
    </message>
    <message>
        <source>Audio Test</source>
        <translation>Teste de áudio</translation>
    </message>
</context>
<context>
    <name>ShutdownDelay</name>
    <message>
        <source>A call is being recorded and is stored before the computer shuts down</source>
        <translation>Uma chamada está sendo gravada e será guardada antes de o computador desligar</translation>
    </message>
</context>
<context>
    <name>SidebarModel</name>
    <message>
        <source>%1 · %2</source>
        <translation>%1 · %2</translation>
    </message>
    <message>
        <source>Archived</source>
        <translation>Arquivados</translation>
    </message>
</context>
<context>
    <name>SoundCheck</name>
    <message>
        <source>Could not play the check sound (PulseAudio: %1)</source>
        <translation>Não foi possível tocar o som de verificação (PulseAudio: %1)</translation>
    </message>
</context>
<context>
    <name>SoundStep</name>
    <message>
        <source>Open Sound Settings</source>
        <translation>Abrir configurações de som</translation>
    </message>
</context>
<context>
    <name>Speaker</name>
    <message>
        <source>You</source>
        <translation>Você</translation>
    </message>
    <message>
        <source>Them</source>
        <translation>Outro</translation>
    </message>
</context>
<context>
    <name>SpeechModelStep</name>
    <message>
        <source>Speech model</source>
        <translation>Modelo de fala</translation>
    </message>
    <message>
        <source>Installed</source>
        <translation>Instalado</translation>
    </message>
    <message>
        <source>Downloads the on-device transcription model once.</source>
        <translation>Baixa uma única vez o modelo de transcrição no computador.</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Baixar</translation>
    </message>
    <message>
        <source>The speech model list has no models.</source>
        <translation>A lista de modelos de fala não tem nenhum modelo.</translation>
    </message>
</context>
<context>
    <name>SpeechModels</name>
    <message>
        <source>On-device transcription does not support %1 on this computer.</source>
        <translation>A transcrição no computador não oferece suporte a %1 nesta máquina.</translation>
    </message>
</context>
<context>
    <name>StepRow</name>
    <message>
        <source>Error: %1</source>
        <translation>Erro: %1</translation>
    </message>
    <message>
        <source>Try again</source>
        <translation>Tentar de novo</translation>
    </message>
    <message>
        <source>Pending</source>
        <translation>Pendente</translation>
    </message>
    <message>
        <source>Denied</source>
        <translation>Negado</translation>
    </message>
</context>
<context>
    <name>SuggestionService</name>
    <message>
        <source>This assistant is too large for the on-device model. Use Claude or OpenAI in Settings.</source>
        <translation>Este assistente é grande demais para o modelo local. Use Claude ou OpenAI nas Configurações.</translation>
    </message>
</context>
<context>
    <name>SuggestionSettingsView</name>
    <message>
        <source>Provider</source>
        <translation>Provedor</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modelo</translation>
    </message>
    <message>
        <source>Models on the server</source>
        <translation>Modelos no servidor</translation>
    </message>
    <message>
        <source>Improvement model</source>
        <translation>Modelo das melhorias</translation>
    </message>
    <message>
        <source>API key</source>
        <translation>Chave de API</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Salvar</translation>
    </message>
    <message>
        <source>The key is stored in the system keyring.</source>
        <translation>A chave fica guardada no chaveiro do sistema.</translation>
    </message>
    <message>
        <source>First model the server lists</source>
        <translation>Primeiro modelo que o servidor listar</translation>
    </message>
    <message>
        <source>Server address</source>
        <translation>Endereço do servidor</translation>
    </message>
</context>
<context>
    <name>SuggestionsStep</name>
    <message>
        <source>Save</source>
        <translation>Salvar</translation>
    </message>
    <message>
        <source>Suggestions</source>
        <translation>Sugestões</translation>
    </message>
    <message>
        <source>Choose who writes the suggestions. Claude and OpenAI use your own API key; the on-device model is free and needs a local model server such as Ollama.</source>
        <translation>Escolha quem escreve as sugestões. Claude e OpenAI usam sua própria chave de API; o modelo no computador é gratuito e precisa de um servidor de modelos local, como o Ollama.</translation>
    </message>
    <message>
        <source>Provider</source>
        <translation>Provedor</translation>
    </message>
    <message>
        <source>API key</source>
        <translation>Chave de API</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modelo</translation>
    </message>
    <message>
        <source>Create a Claude API key</source>
        <translation>Criar uma chave de API do Claude</translation>
    </message>
    <message>
        <source>Create an OpenAI API key</source>
        <translation>Criar uma chave de API da OpenAI</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Pronto</translation>
    </message>
    <message>
        <source>Save an API key to get suggestions.</source>
        <translation>Salve uma chave de API para receber sugestões.</translation>
    </message>
    <message>
        <source>No local model server answered. Start one (for example Ollama), or choose Claude or OpenAI with a key.</source>
        <translation>Nenhum servidor de modelos local respondeu. Inicie um (por exemplo, o Ollama) ou escolha Claude ou OpenAI com uma chave.</translation>
    </message>
    <message>
        <source>Server address</source>
        <translation>Endereço do servidor</translation>
    </message>
</context>
<context>
    <name>SummaryCard</name>
    <message>
        <source>Call summary</source>
        <translation>Resumo da chamada</translation>
    </message>
    <message>
        <source>Writing the summary</source>
        <translation>Escrevendo o resumo</translation>
    </message>
    <message>
        <source>Copy summary</source>
        <translation>Copiar resumo</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Mostrar na pasta</translation>
    </message>
    <message>
        <source>Saved: %1</source>
        <translation>Salvo: %1</translation>
    </message>
</context>
<context>
    <name>SummaryService</name>
    <message>
        <source>Could not save the call: %1</source>
        <translation>Não foi possível salvar a chamada: %1</translation>
    </message>
    <message>
        <source>Could not save the call to the store: %1</source>
        <translation>Não foi possível salvar a chamada no banco de dados: %1</translation>
    </message>
    <message>
        <source>Short call: no summary.</source>
        <translation>Chamada curta: sem resumo.</translation>
    </message>
    <message>
        <source>No summary: it could not be generated. The full transcript is below.</source>
        <translation>Sem resumo: não foi possível gerá-lo. A transcrição completa está abaixo.</translation>
    </message>
    <message>
        <source>No summary: the summary was interrupted.</source>
        <translation>Sem resumo: o resumo foi interrompido.</translation>
    </message>
    <message>
        <source>Could not save the outcome: the call is not in the store.</source>
        <translation>Não foi possível salvar o resultado: a chamada não está no banco de dados.</translation>
    </message>
    <message>
        <source>Could not save the note: the call is not in the store.</source>
        <translation>Não foi possível salvar a observação: a chamada não está no banco de dados.</translation>
    </message>
    <message>
        <source>Could not save the outcome: %1</source>
        <translation>Não foi possível salvar o resultado: %1</translation>
    </message>
    <message>
        <source>Could not save the note: %1</source>
        <translation>Não foi possível salvar a observação: %1</translation>
    </message>
    <message>
        <source>Could not write the summary: the call is not in the store.</source>
        <translation>Não foi possível escrever o resumo: a chamada não está no banco de dados.</translation>
    </message>
    <message>
        <source>Could not write the summary: the call has no lines.</source>
        <translation>Não foi possível escrever o resumo: a chamada não tem falas.</translation>
    </message>
    <message>
        <source>Not stored: the store could not be opened (%1). The call is kept and will be stored at the next start that can open it.</source>
        <translation>Não guardada: não foi possível abrir o banco de dados (%1). A chamada fica reservada e será guardada na próxima vez que o app abrir e conseguir abrir o banco de dados.</translation>
    </message>
    <message>
        <source>Not stored: the store could not be opened (%1), and the call could not be kept for later either.</source>
        <translation>Não guardada: não foi possível abrir o banco de dados (%1), e também não foi possível reservar a chamada para depois.</translation>
    </message>
</context>
<context>
    <name>SystemAudioStep</name>
    <message>
        <source>System audio</source>
        <translation>Áudio do sistema</translation>
    </message>
    <message>
        <source>Transcribes what the other people on the call say. A short sound plays while it checks.</source>
        <translation>Transcreve o que as outras pessoas da chamada dizem. Um som curto toca durante a verificação.</translation>
    </message>
    <message>
        <source>Allow</source>
        <translation>Permitir</translation>
    </message>
    <message>
        <source>Allowed</source>
        <translation>Permitido</translation>
    </message>
    <message>
        <source>Listening…</source>
        <translation>Ouvindo…</translation>
    </message>
    <message>
        <source>No system audio came through. Open your sound settings, or play a sound and try again.</source>
        <translation>Nenhum áudio do sistema chegou. Abra as configurações de som ou toque um som e tente de novo.</translation>
    </message>
</context>
<context>
    <name>TimelineList</name>
    <message>
        <source>Transcript and suggestions</source>
        <translation>Transcrição e sugestões</translation>
    </message>
</context>
<context>
    <name>TimelineView</name>
    <message>
        <source>Waiting for a suggestion</source>
        <translation>Aguardando uma sugestão</translation>
    </message>
</context>
<context>
    <name>ToolServerStep</name>
    <message>
        <source>Claude Code (MCP)</source>
        <translation>Claude Code (MCP)</translation>
    </message>
    <message>
        <source>Lets Claude Code read and edit your assistants. Paste the command in a terminal.</source>
        <translation>Permite que o Claude Code leia e edite seus assistentes. Cole o comando em um terminal.</translation>
    </message>
    <message>
        <source>Copy command</source>
        <translation>Copiar comando</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Copiado</translation>
    </message>
</context>
<context>
    <name>TranscriptionService</name>
    <message>
        <source>Add your OpenAI API key in Settings (Ctrl+,) &gt; General &gt; Transcription.</source>
        <translation>Adicione sua chave de API da OpenAI em Configurações (Ctrl+,) &gt; Geral &gt; Transcrição.</translation>
    </message>
    <message>
        <source>Listening cannot start without the app&apos;s settings.</source>
        <translation>Não é possível começar a ouvir sem as configurações do app.</translation>
    </message>
    <message>
        <source>On-device transcription does not support %1 on this computer.</source>
        <translation>A transcrição no computador não oferece suporte a %1 nesta máquina.</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>The update server answered with an error (HTTP status %1). Try again later.</source>
        <translation>O servidor de atualizações respondeu com um erro (status HTTP %1). Tente de novo mais tarde.</translation>
    </message>
    <message>
        <source>Could not make a secure connection to the update server.</source>
        <translation>Não foi possível estabelecer uma conexão segura com o servidor de atualizações.</translation>
    </message>
    <message>
        <source>Could not reach the update server. Check your internet connection and try again.</source>
        <translation>Não foi possível contatar o servidor de atualizações. Verifique sua conexão com a internet e tente de novo.</translation>
    </message>
    <message>
        <source>The update feed address is not a web address (http or https): %1</source>
        <translation>O endereço do feed de atualizações não é um endereço da web (http ou https): %1</translation>
    </message>
    <message>
        <source>The update server did not send an update feed (the answer is far too large).</source>
        <translation>O servidor de atualizações não enviou um feed de atualizações (a resposta é grande demais).</translation>
    </message>
</context>
<context>
    <name>WaveformView</name>
    <message>
        <source>Auto-scroll</source>
        <translation>Rolagem automática</translation>
    </message>
    <message>
        <source>Mic</source>
        <translation>Mic</translation>
    </message>
    <message>
        <source>Sys</source>
        <translation>Sis</translation>
    </message>
    <message>
        <source>On: follow the newest line. Off: stay where you scrolled.</source>
        <translation>Ligada: acompanha a linha mais recente. Desligada: fica onde você rolou.</translation>
    </message>
</context>
<context>
    <name>WhisperModelDownload</name>
    <message>
        <source>Could not read the downloaded file %1: %2</source>
        <translation>Não foi possível ler o arquivo baixado %1: %2</translation>
    </message>
    <message>
        <source>The downloaded file %1 does not have the size the model list gives; it was deleted. Try again.</source>
        <translation>O arquivo baixado %1 não tem o tamanho que a lista de modelos indica; ele foi apagado. Tente de novo.</translation>
    </message>
    <message>
        <source>The downloaded file %1 does not match its checksum; it was deleted. Try again.</source>
        <translation>O arquivo baixado %1 não confere com a soma de verificação; ele foi apagado. Tente de novo.</translation>
    </message>
    <message>
        <source>The download was cancelled. Press Download to continue it.</source>
        <translation>O download foi cancelado. Pressione Baixar para continuá-lo.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Não foi possível criar a pasta %1.</translation>
    </message>
    <message>
        <source>Could not save the speech model %1: %2</source>
        <translation>Não foi possível salvar o modelo de fala %1: %2</translation>
    </message>
    <message>
        <source>The server sent more than the %1 bytes the model list gives for %2; the download was deleted.</source>
        <translation>O servidor enviou mais do que os %1 bytes que a lista de modelos indica para %2; o download foi apagado.</translation>
    </message>
    <message>
        <source>Could not download %1: the server answered with status %2.</source>
        <translation>Não foi possível baixar %1: o servidor respondeu com o status %2.</translation>
    </message>
    <message>
        <source>Could not download %1: %2</source>
        <translation>Não foi possível baixar %1: %2</translation>
    </message>
    <message>
        <source>The download of %1 ended early. Press Download to continue it.</source>
        <translation>O download de %1 terminou antes da hora. Pressione Baixar para continuá-lo.</translation>
    </message>
    <message>
        <source>Could not save the speech model %1.</source>
        <translation>Não foi possível salvar o modelo de fala %1.</translation>
    </message>
    <message>
        <source>Could not fetch the speech model list: %1</source>
        <translation>Não foi possível obter a lista de modelos de fala: %1</translation>
    </message>
    <message>
        <source>The speech model list could not be read.</source>
        <translation>Não foi possível ler a lista de modelos de fala.</translation>
    </message>
</context>
<context>
    <name>WhisperModelFile</name>
    <message>
        <source>%1 is not a Whisper speech model.</source>
        <translation>%1 não é um modelo de fala do Whisper.</translation>
    </message>
    <message>
        <source>The speech model %1 is incomplete. Download it again.</source>
        <translation>O modelo de fala %1 está incompleto. Baixe-o de novo.</translation>
    </message>
    <message>
        <source>The speech model %1 is damaged. Download it again.</source>
        <translation>O modelo de fala %1 está danificado. Baixe-o de novo.</translation>
    </message>
    <message>
        <source>Could not open the speech model %1: %2</source>
        <translation>Não foi possível abrir o modelo de fala %1: %2</translation>
    </message>
</context>
<context>
    <name>WhisperModels</name>
    <message>
        <source>Whisper tiny (fastest)</source>
        <translation>Whisper tiny (o mais rápido)</translation>
    </message>
    <message>
        <source>Whisper base (recommended)</source>
        <translation>Whisper base (recomendado)</translation>
    </message>
    <message>
        <source>Whisper small (most accurate)</source>
        <translation>Whisper small (o mais preciso)</translation>
    </message>
    <message>
        <source>The speech model list could not be read.</source>
        <translation>Não foi possível ler a lista de modelos de fala.</translation>
    </message>
    <message>
        <source>No Whisper speech model is installed. Download one in Settings (Ctrl+,) &gt; General &gt; Transcription.</source>
        <translation>Nenhum modelo de fala do Whisper está instalado. Baixe um em Configurações (Ctrl+,) &gt; Geral &gt; Transcrição.</translation>
    </message>
</context>
<context>
    <name>WhisperRecognizer</name>
    <message>
        <source>The speech model %1 is not installed. Download it in Settings (Ctrl+,) &gt; General &gt; Transcription.</source>
        <translation>O modelo de fala %1 não está instalado. Baixe-o em Configurações (Ctrl+,) &gt; Geral &gt; Transcrição.</translation>
    </message>
    <message>
        <source>Could not load the speech model %1.</source>
        <translation>Não foi possível carregar o modelo de fala %1.</translation>
    </message>
    <message>
        <source>This processor lacks the AVX2 instructions the Whisper engine needs. Choose On-device (PocketSphinx) in Settings (Ctrl+,) &gt; General &gt; Transcription.</source>
        <translation>Este processador não tem as instruções AVX2 de que o mecanismo Whisper precisa. Escolha No computador (PocketSphinx) em Configurações (Ctrl+,) &gt; Geral &gt; Transcrição.</translation>
    </message>
</context>
<context>
    <name>appcast</name>
    <message>
        <source>The update feed could not be read: the server did not send a valid update feed.</source>
        <translation>Não foi possível ler o feed de atualizações: o servidor não enviou um feed válido.</translation>
    </message>
    <message>
        <source>The update feed lists no version of Quillora.</source>
        <translation>O feed de atualizações não lista nenhuma versão do Quillora.</translation>
    </message>
</context>
<context>
    <name>soundSettings</name>
    <message>
        <source>No sound settings program was found. Install pavucontrol, or open your desktop&apos;s sound settings.</source>
        <translation>Nenhum programa de configurações de som foi encontrado. Instale o pavucontrol ou abra as configurações de som do seu ambiente de trabalho.</translation>
    </message>
    <message>
        <source>Could not start %1.</source>
        <translation>Não foi possível iniciar %1.</translation>
    </message>
</context>
</TS>
